// Asks for the CSV file to turn into an XML sitemap. The path is checked
// whenever the path box loses the focus, and the verdict is shown below it.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CsvToXmlDialog;
}

namespace larkspur {

class CsvToXmlDialog : public QDialog {
    Q_OBJECT
public:
    explicit CsvToXmlDialog(QWidget* parent = nullptr);
    ~CsvToXmlDialog() override;

    // The path as it stood when the dialog was accepted; empty before.
    const QString& path() const { return m_path; }
    // Puts a proposal into the box.
    void setPath(const QString& path);

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void checkPath();

    std::unique_ptr<Ui::CsvToXmlDialog> m_ui;
    QString m_path;
};

}  // namespace larkspur
