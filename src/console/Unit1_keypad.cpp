// The main window's keypad, keyboard and correction panel.

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>

#include "console/Unit1.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "link/protocol.h"

namespace tandrel::console {

void TForm1::ConnectKeypad() {
    for (QPushButton* key : Keys) {
        const char caption = key->text().at(0).toLatin1();
        connect(key, &QPushButton::clicked, this, [this, caption] {
            if (caption == '*')
                BitBtn10Click();
            else if (caption == '#')
                BitBtn14Click();
            else
                AppendDigit(caption);  // BitBtn3Click .. BitBtn13Click
        });
    }
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm1::AppendDigit(char digit) {
    const std::string candidate = Entry.ManualEntry + digit;
    Entry.ManualEntry = console::AppendDigit(Entry.ManualEntry, digit, Link.MaxSize.load());
    RefuseEntry(protocol::ParseSize(candidate), false);  // a refused digit says why
    SetInfoLine(Entry.ManualEntry);
    ShowOperatorFields();
}

void TForm1::BitBtn10Click() {
    Entry.ManualEntry = StarKey(Entry.ManualEntry, Link.Precision.load());
    SetInfoLine(Entry.ManualEntry);
    ShowOperatorFields();
}

void TForm1::BitBtn14Click() {
    const double value = protocol::ParseSize(Entry.ManualEntry);
    // Outside the limits: the entry stays for the operator to correct, and the status line
    // says why.
    if (RefuseEntry(value, true)) return;
    const std::optional<std::string> move =
        AcceptEntry(Entry.ManualEntry, Link.MinSize.load(), Link.MaxSize.load());
    if (!move) return;
    if (!SendMove(*move)) return;  // no device port: nothing sent, the entry stays
    WriteJournal(job::KeypadMoveEntry(Job.ListName, protocol::ParseSize(Entry.ManualEntry)));
    Entry.ManualEntry.clear();
    Link.SetLinkState(link::kMoveSent);
    SetInfoLine(Entry.ManualEntry);
    TypedMoveSent(value);
}

void TForm1::Panel3DblClick() {
    keypadFull_ = !keypadFull_;
    if (keypadFull_) {
        Entry.ManualEntry.clear();
        SetControlText(Label3, "");
    }
    BitBtn1->setVisible(!keypadFull_);
    BitBtn2->setVisible(!keypadFull_);
    PlaceKeypad();
}

bool TForm1::KeypadCoversGrid() const {
    // With the keypad switched off its state still changes, but nothing of it is shown.
    return keypadFull_ && Settings.ShowKeypad;
}

void TForm1::PlaceKeypad() {
    Panel3->setVisible(Settings.ShowKeypad);
    if (!KeypadCoversGrid()) {
        for (QPushButton* key : Keys) key->setVisible(false);
        Panel3->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        Panel3->setFixedWidth(97);
        StringGrid1->setVisible(Job.RowCount > 0 || rowsModel_->rowCount() > 0);
        return;
    }
    // The panel covers the grid: it takes the space the grid had.
    StringGrid1->setVisible(false);
    Panel3->setMinimumWidth(0);
    Panel3->setMaximumWidth(QWIDGETSIZE_MAX);
    Panel3->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    centralWidget()->layout()->activate();
    ButtonsSize();
}

void TForm1::ButtonsSize() {
    const TKeyLayout layout = console::ButtonsSize(Panel3->height(), Panel3->width());
    for (int i = 0; i < 12; ++i) {
        QPushButton* key = Keys[static_cast<std::size_t>(i)];
        key->setGeometry(layout.columnLefts[static_cast<std::size_t>(i % 4)],
                         layout.rowTops[static_cast<std::size_t>(i / 4)], layout.keyWidth,
                         layout.keyHeight);
        key->setVisible(true);
    }
}

void TForm1::FormResize() {
    if (KeypadCoversGrid()) ButtonsSize();
}

void TForm1::FormKeyPress(char key) {
    switch (KeyActionFor(key)) {
        case TKeyAction::Back:
            BitBtn2Click();
            break;
        case TKeyAction::Accept:
            BitBtn14Click();
            break;
        case TKeyAction::Start:
            BitBtn1Click();
            break;
        case TKeyAction::Star:
            BitBtn10Click();
            break;
        case TKeyAction::ToggleKeypad:
            Panel3DblClick();
            break;
        case TKeyAction::Digit:
            AppendDigit(key);
            break;
        case TKeyAction::None:
            break;
    }
}

void TForm1::Button2Click() {
    ++Job.Correction;
    SetControlText(Label2, std::to_string(Job.Correction));
}

void TForm1::Button1Click() {
    --Job.Correction;
    SetControlText(Label2, std::to_string(Job.Correction));
}

namespace {
// The character a key press stands for in the key table, 0 for none.
char KeyCharacter(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        default:
            break;
    }
    const QString text = event.text();
    if (text.size() != 1 || text[0].unicode() >= 0x80) return 0;
    return static_cast<char>(text[0].unicode());
}
}  // namespace

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // F2 types nothing, so a scanner's characters can never press it.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
        if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
            ReprintLabel();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const char key = KeyCharacter(*static_cast<QKeyEvent*>(event));
        if (KeyActionFor(key) != TKeyAction::None) {
            // Handled here and nowhere else: a focused Start or Back must not click itself too.
            // What the action raises goes on to the application's handler.
            FormKeyPress(key);
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease) {
        const char key = KeyCharacter(*static_cast<QKeyEvent*>(event));
        if (KeyActionFor(key) != TKeyAction::None) return true;
    } else if (watched == Panel3 && event->type() == QEvent::MouseButtonDblClick) {
        Panel3DblClick();
        return true;
    } else if (watched == Panel3 && event->type() == QEvent::Resize) {
        FormResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tandrel::console
