#pragma once
// Text-box conveniences shared by the dialogs: select everything on focus, and no text that
// starts with a typed blank.
#include <QObject>

class QLineEdit;

namespace ormisk {

// Selects the box's whole text.
void SelectAllText(QLineEdit* box);
// Called with the character code of a key press before it is inserted. A space (32) typed where
// only blanks precede the caret, or the start of the selection, is discarded by setting `key` to 0.
void SuppressLeadingSpace(QLineEdit* box, int& key);

// Applies SuppressLeadingSpace to the typed characters of one text box and, if asked, selects its
// text whenever it gains focus. Pasted text is left alone. Install with one line:
//     TextBoxFilter::install(ui->txtSender);
class TextBoxFilter : public QObject {
    Q_OBJECT
public:
    // The filter is owned by the box.
    static TextBoxFilter* install(QLineEdit* box, bool selectAllOnFocus = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TextBoxFilter(QLineEdit* box, bool selectAllOnFocus);
    QLineEdit* m_box;
    bool m_selectAllOnFocus;
};

} // namespace ormisk
