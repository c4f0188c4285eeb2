#include "dialogs/TextBoxRoutines.h"

#include <QTimer>

#include <QKeyEvent>
#include <QLineEdit>

namespace ormisk {

namespace {

constexpr int kSpace = 32;

// Blanks only, as typed: a tab pasted into the box is text like any other.
QString stripTrailingBlanks(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    text.truncate(end);
    return text;
}

} // namespace

void SelectAllText(QLineEdit* box)
{
    box->setSelection(0, static_cast<int>(box->text().size()));
}

void SuppressLeadingSpace(QLineEdit* box, int& key)
{
    if (key != kSpace)
        return;
    // A typed character replaces the selection, so what matters is what stands before its start.
    const int start = box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
    if (stripTrailingBlanks(box->text().left(start)).isEmpty())
        key = 0;
}

TextBoxFilter::TextBoxFilter(QLineEdit* box, bool selectAllOnFocus)
    : QObject(box)
    , m_box(box)
    , m_selectAllOnFocus(selectAllOnFocus)
{
}

TextBoxFilter* TextBoxFilter::install(QLineEdit* box, bool selectAllOnFocus)
{
    auto* filter = new TextBoxFilter(box, selectAllOnFocus);
    box->installEventFilter(filter);
    return filter;
}

bool TextBoxFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_box)
        return false;
    if (event->type() == QEvent::KeyPress) {
        const auto* press = static_cast<QKeyEvent*>(event);
        const QString typed = press->text();
        // Pasting arrives as a shortcut whose text is not a space, so it passes untouched.
        if (typed.size() == 1) {
            int key = typed.at(0).unicode();
            SuppressLeadingSpace(m_box, key);
            if (key == 0)
                return true;
        }
    } else if (event->type() == QEvent::FocusIn && m_selectAllOnFocus) {
        // After the event as well: a mouse click that brought the focus places the caret next,
        // which would undo a selection made only now.
        SelectAllText(m_box);
        QTimer::singleShot(0, m_box, [box = m_box] { SelectAllText(box); });
    }
    return false;
}

} // namespace ormisk
