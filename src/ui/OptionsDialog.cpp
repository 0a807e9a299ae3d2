#include "OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "UiServices.h"

namespace larkspur {

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
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
        const QString caption = tr(field.caption);
        QWidget* control = nullptr;
        switch (field.kind) {
        case OptionKind::Choice: {
            auto* combo = new QComboBox(this);
            for (const std::string& choice : field.choices)
                combo->addItem(FromStd(choice));
            combo->setCurrentText(FromStd(values.front()));
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
            break;
        }
        }
        control->setObjectName(QLatin1String(field.key));
        control->setToolTip(tr(field.help));
        if (field.kind == OptionKind::Flag)
            form->addRow(control);
        else
            form->addRow(caption, control);
        m_controls.push_back(control);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
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
            values.push_back(combo->currentText().toStdString());
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
