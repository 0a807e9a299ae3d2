// Asks for the CSV file to turn into an XML sitemap. The path is checked
// whenever the path box loses the focus, and the verdict is shown below it:
// the XML file it will create, or replace.
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

    // The path as it stood when the dialog was accepted; empty before.
    const QString& path() const { return m_path; }
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
    void checkPath();

    std::unique_ptr<Ui::CsvToXmlDialog> m_ui;
    QString m_path;
    std::string m_projectFolder;
    std::string m_projectUrl;
    SitemapOptions m_projectOptions;
};

}  // namespace larkspur
