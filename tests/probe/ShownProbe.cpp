// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A Qt generic plugin that a test loads into an unchanged larkspur (through
// QT_QPA_GENERIC_PLUGINS) to learn, on the offscreen platform where nothing
// can be seen from outside, which window the program shows first. On the
// first exposed top-level window it prints "shown: CLASS" on standard error
// and closes that window, so the program ends the way a person ends it.
#include <QApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

class ShownProbe : public QObject {
public:
    ShownProbe() = default;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_done || event->type() != QEvent::Expose)
            return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (window == nullptr || !window->isExposed())
            return false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() != window)
                continue;
            m_done = true;
            std::fprintf(stderr, "shown: %s\n", widget->metaObject()->className());
            std::fflush(stderr);
            QTimer::singleShot(0, widget, &QWidget::close);
            break;
        }
        return false;
    }

private:
    bool m_done = false;
};

}  // namespace

class ShownProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "shownprobe.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        auto* probe = new ShownProbe;
        QCoreApplication::instance()->installEventFilter(probe);
        return probe;
    }
};

#include "ShownProbe.moc"
