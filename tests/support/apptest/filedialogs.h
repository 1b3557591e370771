#pragma once

// The file and folder dialogs as the user meets them here: Qt's widget
// dialog, which the program's platform dialogs show where no Qt platform
// theme offers the desktop's own. Found as the application's modal window,
// driven with key presses and clicks, never by setting their answer.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace FileDialogs {

// The dialog shown, once there is one (a folder dialog is one too).
inline QFileDialog *shown(int timeoutMs = 5000)
{
    QFileDialog *dialog = nullptr;
    const bool found = QTest::qWaitFor(
        [&] {
            dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            return dialog && dialog->isVisible();
        },
        timeoutMs);
    if (!found)
        return nullptr;
    // Keys typed while a window manager activates the dialog can go astray.
    if (!QTest::qWaitForWindowActive(dialog, 2000))
        qWarning() << "file dialog not active";
    return dialog;
}

inline QLineEdit *nameField(QFileDialog *dialog)
{
    return dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
}

// What the name field holds ("" without a dialog).
inline QString shownName()
{
    const QLineEdit *field = nameField(shown());
    return field ? field->text() : QString();
}

// Types text into the name field key by key, over what it holds, and presses
// Enter; false when the field did not take it.
inline bool type(const QString &text, bool enter = true)
{
    QFileDialog *dialog = shown();
    QLineEdit *field = nameField(dialog);
    if (!field)
        return false;
    // A window manager may hand activation back to the main window meanwhile;
    // the dialog then rewrites the field as its list follows the typing.
    bool typed = false;
    for (int attempt = 0; !typed && attempt < 3; ++attempt) {
        const bool focused = QTest::qWaitFor(
            [&] {
                if (!dialog->isActiveWindow())
                    dialog->activateWindow();
                field->setFocus();
                return field->hasFocus();
            },
            2000);
        if (!focused)
            qWarning() << "the name field has no focus" << QApplication::focusWidget();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        typed = field->text() == text;
        if (!typed)
            qWarning() << "the name field holds" << field->text() << "after typing" << text;
    }
    // Enter while the completer's list shows only closes the list (the field
    // ignores it meanwhile); the user then presses it again.
    QAbstractItemView *list = field->completer() ? field->completer()->popup() : nullptr;
    const QPointer<QFileDialog> open(dialog);
    for (int attempt = 0; enter && typed && open && open->isVisible() && attempt < 20; ++attempt) {
        if (attempt > 0)
            QTest::qWait(50);
        if (list && list->isVisible())
            QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Return);
    }
    return typed;
}

// Clicks (or double-clicks) the row of the shown folder's list that names
// name, once the list has read the folder.
inline bool click(const QString &name, bool twice = false)
{
    QFileDialog *dialog = shown();
    auto *list =
        dialog ? dialog->findChild<QAbstractItemView *>(QStringLiteral("listView")) : nullptr;
    QModelIndex row;
    const auto laidOut = [&] {
        const QAbstractItemModel *model = list->model();
        for (int r = 0; model && r < model->rowCount(list->rootIndex()); ++r) {
            row = model->index(r, 0, list->rootIndex());
            if (row.data().toString() == name)
                return !list->visualRect(row).isEmpty();
        }
        return false;
    };
    if (!list || !QTest::qWaitFor(laidOut))
        return false;
    list->scrollTo(row);
    const QPoint centre = list->visualRect(row).center();
    // A double-click is a click and then a second press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    return true;
}

// Chooses the name filter of that text in the shown dialog's filter box with
// the arrow keys; false when the box does not offer it.
inline bool chooseFilter(const QString &text)
{
    QFileDialog *dialog = shown();
    auto *box = dialog ? dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")) : nullptr;
    const int index = box ? box->findText(text) : -1;
    if (index < 0)
        return false;
    box->setFocus();
    for (int step = 0; box->currentIndex() != index && step < box->count(); ++step)
        QTest::keyClick(box, box->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    return box->currentIndex() == index;
}

// Presses the shown dialog's enabled button of that text ("Save", "Choose").
inline bool press(const QString &text)
{
    QFileDialog *dialog = shown();
    if (!dialog)
        return false;
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->isVisible() && button->isEnabled() &&
            button->text().remove(QLatin1Char('&')) == text) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

} // namespace FileDialogs
