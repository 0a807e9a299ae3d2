// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The About box: version, the maker's web address as a link, and the icon,
// which opens the same address when clicked.
#pragma once

#include <QDialog>

#include <memory>

#include "HyperlinkControl.h"

namespace Ui {
class AboutBox;
}

namespace larkspur {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
    ~AboutBox() override;

    const HyperlinkControl& link() const { return m_link; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::AboutBox> m_ui;
    HyperlinkControl m_link;
};

}  // namespace larkspur
