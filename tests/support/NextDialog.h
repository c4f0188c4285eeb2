#pragma once
// Answers the next dialog of type D that a test's code under test opens with exec(): once it is
// shown, `act` runs from the dialog's own event loop. A dialog that `act` leaves open is rejected,
// so a wrong expectation fails the test instead of hanging it.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace ormisk::testing {

template <typename D> class NextDialog : public QObject {
public:
    explicit NextDialog(std::function<void(D&)> act)
        : m_act(std::move(act))
    {
        qApp->installEventFilter(this);
    }
    [[nodiscard]] int shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || m_shown > 0)
            return false;
        auto* dialog = qobject_cast<D*>(watched);
        if (!dialog)
            return false;
        ++m_shown;
        QPointer<D> target(dialog);
        QTimer::singleShot(0, this, [this, target] {
            if (target)
                m_act(*target);
            if (target && target->isVisible())
                target->reject();
        });
        return false;
    }

private:
    std::function<void(D&)> m_act;
    int m_shown = 0;
};

} // namespace ormisk::testing
