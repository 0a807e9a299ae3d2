// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Asks for the CSV file to turn into an XML sitemap, and converts it. The
// path is checked whenever the path box loses the focus, and the verdict is
// shown below it: the XML file it will create or replace, or why it cannot.
// The dialog stays open until a conversion succeeds or the user cancels, so
// a mistyped path is corrected, not retyped.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <string>

#include "options/options.h"

namespace Ui {
class CsvToXmlDialog;
}

namespace larkspur {

class CsvToXmlDialog : public QDialog {
    Q_OBJECT
public:
    explicit CsvToXmlDialog(QWidget* parent = nullptr);
    ~CsvToXmlDialog() override;

    // The path converted; empty before.
    const QString& path() const { return m_path; }
    // What the conversion made and left out, for the window to show.
    const QString& report() const { return m_report; }
    // Puts a proposal into the box, and checks it.
    void setPath(const QString& path);
    // The selected project: a CSV in its folder becomes a sitemap of the
    // project's protocol and compression, its parts addressed from its URL.
    void setProject(std::string folder, std::string url, const SitemapOptions& options);
    // How `csvPath` is converted: the address of its folder (empty outside
    // the project) and the options.
    SitemapOptions conversionFor(const std::string& csvPath, std::string& folderUrl) const;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the verdict on the path; true when it can be converted.
    bool checkPath();
    void pathEdited(const QString& text);

    std::unique_ptr<Ui::CsvToXmlDialog> m_ui;
    QString m_path;
    QString m_report;
    std::string m_projectFolder;
    std::string m_projectUrl;
    SitemapOptions m_projectOptions;
};

}  // namespace larkspur
