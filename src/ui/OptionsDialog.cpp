// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "DialogFont.h"
#include "UiServices.h"
#include "text/glob.h"

namespace larkspur {

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// How the dialog words an option: the label with its Alt key, a tooltip
// with an example, and the choices in plain words (in the order of the
// option's own words, which are what is stored).
struct Wording {
    const char* key;
    const char* caption;
    const char* tip;
    std::vector<const char*> choices;
};

const Wording kWordings[] = {
    {"protocol", QT_TRANSLATE_NOOP("OptionsDialog", "Sitemap &format:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "The protocol the XML sitemap follows. Example: 0.9 is the one Google "
                                        "Search Console reads; 0.84 is the older Google one."),
     {QT_TRANSLATE_NOOP("OptionsDialog", "0.84"), QT_TRANSLATE_NOOP("OptionsDialog", "0.9 (for Google Search Console)")}},
    {"exclude", QT_TRANSLATE_NOOP("OptionsDialog", "E&xclude:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Pages to leave out, one .gitignore-style pattern a line. Example: "
                                        "drafts/ leaves out the drafts folder, *.bak.html every backup page."),
     {}},
    {"extensions", QT_TRANSLATE_NOOP("OptionsDialog", "Page &extensions:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "The file extensions that become sitemap entries. Example: html,htm,pdf "
                                        "lists PDF files too."),
     {}},
    {"url-style", QT_TRANSLATE_NOOP("OptionsDialog", "Page &addresses:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "How a page's address is written. Example: docs/index.html becomes "
                                        "/docs/index.html, /docs/ or /docs/index."),
     {QT_TRANSLATE_NOOP("OptionsDialog", "as the file (/a.html)"),
      QT_TRANSLATE_NOOP("OptionsDialog", "folder for index pages (/docs/)"),
      QT_TRANSLATE_NOOP("OptionsDialog", "without .html (/a)")}},
    {"omit-hints", QT_TRANSLATE_NOOP("OptionsDialog", "Leave out priority and change fre&quency"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Writes no <priority> and <changefreq> in the XML. Example: for Google, "
                                        "which reads neither."),
     {}},
    {"lastmod", QT_TRANSLATE_NOOP("OptionsDialog", "&Last modified:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Where a page's date comes from. Example: newest git commit dates a page "
                                        "by its last commit, not by the time of a fresh checkout."),
     {QT_TRANSLATE_NOOP("OptionsDialog", "file's time"), QT_TRANSLATE_NOOP("OptionsDialog", "newest git commit"),
      QT_TRANSLATE_NOOP("OptionsDialog", "leave out")}},
    {"respect-robots", QT_TRANSLATE_NOOP("OptionsDialog", "Leave out pages marked &noindex"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Leaves out pages whose robots meta tag says noindex, and pages the "
                                        "site's robots.txt disallows. Example: "
                                        "<meta name=\"robots\" content=\"noindex\">."),
     {}},
    {"robots-agent", QT_TRANSLATE_NOOP("OptionsDialog", "Crawler for robots.&txt rules:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Whose group of robots.txt rules decides. Example: Googlebot, or * for "
                                        "the rules every crawler follows."),
     {}},
    {"canonical-only", QT_TRANSLATE_NOOP("OptionsDialog", "Leave out pages whose canonical &URL is another page's"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Leaves out copies of a page. Example: print.html whose canonical link "
                                        "names /article.html."),
     {}},
    {"robots-txt", QT_TRANSLATE_NOOP("OptionsDialog", "List the sitemap in &robots.txt"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Adds a Sitemap: line to the site's robots.txt. Example: Sitemap: "
                                        "https://www.example.com/sitemap.xml."),
     {}},
    {"gzip", QT_TRANSLATE_NOOP("OptionsDialog", "Compress sitemaps (.&gz)"),
     QT_TRANSLATE_NOOP("OptionsDialog", "Writes compressed files; CSV stays plain. Example: sitemap.xml.gz "
                                        "instead of sitemap.xml."),
     {}},
    {"newline", QT_TRANSLATE_NOOP("OptionsDialog", "Line en&dings:"),
     QT_TRANSLATE_NOOP("OptionsDialog", "How lines of the sitemaps end. Example: CR LF, as sitemaps always have; "
                                        "LF for reading them line by line in a shell."),
     {QT_TRANSLATE_NOOP("OptionsDialog", "CR LF (as always)"), QT_TRANSLATE_NOOP("OptionsDialog", "LF")}},
};

const Wording* WordingOf(const char* key)
{
    for (const Wording& wording : kWordings) {
        if (std::string_view(wording.key) == key)
            return &wording;
    }
    return nullptr;
}

// Patterns the matcher takes but that cannot mean what they say: an
// unclosed "[" matches a "[" itself. Empty when every line looks right.
QString PatternProblem(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const std::string pattern = lines[n].toStdString();
        std::string error;
        if (CheckGlobPattern(pattern, error) != 0)
            return QObject::tr("Line %1: %2").arg(n + 1).arg(FromStd(error));
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == '\\')
                ++i;
            else if (pattern[i] == '[' && pattern.find(']', i + 2) == std::string::npos)
                return QObject::tr("Line %1: the '[' of %2 is never closed, so it matches a '[' itself.")
                    .arg(n + 1)
                    .arg(lines[n]);
        }
    }
    return {};
}

}  // namespace

OptionsDialog::OptionsDialog(const QString& project, const SitemapOptions& options, QWidget* parent)
    : QDialog(parent), m_options(options)
{
    setObjectName(QStringLiteral("OptionsDialog"));
    setWindowTitle(tr("Options of %1").arg(project));
    auto* form = new QFormLayout;
    for (const OptionField& field : SitemapOptionFields()) {
        const std::vector<std::string> values = field.get(options);
        const Wording* wording = WordingOf(field.key);
        const QString caption = tr(wording ? wording->caption : field.caption);
        QWidget* control = nullptr;
        switch (field.kind) {
        case OptionKind::Choice: {
            auto* combo = new QComboBox(this);
            for (std::size_t i = 0; i < field.choices.size(); ++i) {
                const QString word = FromStd(field.choices[i]);
                combo->addItem(wording && i < wording->choices.size() ? tr(wording->choices[i]) : word, word);
            }
            combo->setCurrentIndex(combo->findData(FromStd(values.front())));
            control = combo;
            break;
        }
        case OptionKind::Flag: {
            auto* check = new QCheckBox(caption, this);
            check->setChecked(values.front() == "yes");
            control = check;
            break;
        }
        case OptionKind::Text:
            control = new QLineEdit(FromStd(values.front()), this);
            break;
        case OptionKind::List: {
            QStringList lines;
            for (const std::string& value : values)
                lines << FromStd(value);
            auto* edit = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
            edit->setPlaceholderText(tr("one pattern a line"));
            edit->setTabChangesFocus(true);
            edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 5);
            control = edit;
            m_patternProblem = new QLabel(this);
            m_patternProblem->setObjectName(QStringLiteral("patternProblem"));
            m_patternProblem->setWordWrap(true);
            connect(edit, &QPlainTextEdit::textChanged, this, [this, edit] {
                const QString problem = PatternProblem(edit->toPlainText());
                m_patternProblem->setText(problem.isEmpty() ? QString() : QStringLiteral("\u26A0 ") + problem);
                m_patternProblem->setVisible(!problem.isEmpty());
            });
            break;
        }
        }
        control->setObjectName(QLatin1String(field.key));
        control->setToolTip(tr(wording ? wording->tip : field.help));
        if (field.kind == OptionKind::Flag) {
            form->addRow(control);
        } else {
            auto* label = new QLabel(caption, this);
            label->setBuddy(control);
            form->addRow(label, control);
        }
        if (field.kind == OptionKind::List) {
            form->addRow(QString(), m_patternProblem);
            m_patternProblem->hide();
        }
        m_controls.push_back(control);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    ApplyDialogFont(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString OptionsDialog::summary(const SitemapOptions& options)
{
    const SitemapOptions defaults;
    QStringList parts;
    if (options.protocol != defaults.protocol)
        parts << (options.protocol == Protocol::Sitemaps09 ? QStringLiteral("0.9") : QStringLiteral("0.84"));
    if (options.urlStyle != defaults.urlStyle)
        parts << (options.urlStyle == UrlStyle::Clean ? tr("clean URLs") : tr("folder URLs"));
    if (options.lastmod != defaults.lastmod)
        parts << (options.lastmod == LastmodSource::Git ? tr("dates from git") : tr("no dates"));
    if (options.extensions != defaults.extensions) {
        QStringList extensions;
        for (const std::string& extension : options.extensions)
            extensions << FromStd(extension);
        parts << tr("pages: %1").arg(extensions.join(QLatin1Char(',')));
    }
    if (!options.exclude.empty())
        parts << tr("%n exclusion(s)", nullptr, static_cast<int>(options.exclude.size()));
    if (options.omitHints)
        parts << tr("no priority");
    if (options.respectRobots)
        parts << tr("noindex left out");
    if (options.canonicalOnly)
        parts << tr("canonical only");
    if (options.robotsTxt)
        parts << QStringLiteral("robots.txt");
    if (options.gzip)
        parts << QStringLiteral("gzip");
    return parts.join(QStringLiteral(" \u00B7 "));
}

void OptionsDialog::accept()
{
    SitemapOptions options = m_options;
    const auto& fields = SitemapOptionFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const OptionField& field = fields[i];
        QWidget* control = m_controls[i];
        std::vector<std::string> values;
        if (auto* combo = qobject_cast<QComboBox*>(control))
            values.push_back(combo->currentData().toString().toStdString());
        else if (auto* check = qobject_cast<QCheckBox*>(control))
            values.push_back(check->isChecked() ? "yes" : "no");
        else if (auto* line = qobject_cast<QLineEdit*>(control))
            values.push_back(line->text().toStdString());
        else if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
            for (const QString& value : text->toPlainText().split(QLatin1Char('\n')))
                values.push_back(value.toStdString());
        }
        std::string error;
        if (field.set(options, values, error) != 0) {
            ShowMessage(this, FromStd(error), QMessageBox::Warning);
            control->setFocus();
            return;
        }
    }
    m_options = options;
    QDialog::accept();
}

}  // namespace larkspur
