#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class QQuickItem;
class QWindow;

// Where the platform offers no file dialog of its own, Qt Quick shows one
// inside the window. In Qt 6.4 that one ignores the modality asked for: a
// click outside closes it and acts on what lies beneath. Its folder dialog
// also highlights the first subfolder, which then reads as chosen although
// the user never clicked it.
//
// Called right after the dialog (a file or folder dialog of QtQuick.Dialogs)
// has opened, this makes the dialog shown modal, proposes a file name in it
// and, for a folder dialog, tells a folder the user picked from one the
// dialog highlighted by itself.
class InWindowDialog : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject *dialog READ dialog WRITE setDialog NOTIFY dialogChanged)

public:
    explicit InWindowDialog(QObject *parent = nullptr);

    QObject *dialog() const { return m_dialog; }
    void setDialog(QObject *dialog);

    // False when the platform shows a dialog of its own.
    Q_INVOKABLE bool adopt(const QString &proposedName = QString());

    // The folder the user picked in the list, else the folder shown.
    Q_INVOKABLE QUrl chosenFolder() const;

signals:
    void dialogChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void nameEdited();
    void folderShown();

private:
    QObject *shownImplementation() const;
    QQuickItem *folderList() const;
    void release();

    QPointer<QObject> m_dialog;
    QPointer<QObject> m_shown;
    QPointer<QWindow> m_window;
    bool m_picked = false;
};
