#include "inwindowdialog.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickItem>
#include <QQuickWindow>

namespace {
// QQuickPopup::CloseOnEscape: only Escape closes it, as a modal window.
constexpr int CloseOnEscape = 0x010;

bool isDialogImplementation(const QObject *object)
{
    return object->inherits("QQuickFileDialogImpl") || object->inherits("QQuickFolderDialogImpl");
}
} // namespace

InWindowDialog::InWindowDialog(QObject *parent) : QObject(parent) {}

void InWindowDialog::setDialog(QObject *dialog)
{
    if (dialog == m_dialog)
        return;
    release();
    m_dialog = dialog;
    emit dialogChanged();
}

QObject *InWindowDialog::shownImplementation() const
{
    if (!m_dialog)
        return nullptr;
    // Qt parents the dialog it shows to the window it shows it in.
    const auto *window = m_dialog->property("parentWindow").value<QWindow *>();
    if (!window)
        return nullptr;
    const QString title = m_dialog->property("title").toString();
    QObject *shown = nullptr;
    for (QObject *child : window->children()) {
        if (!isDialogImplementation(child) || !child->property("visible").toBool())
            continue;
        shown = child;
        if (child->property("title").toString() == title)
            break;
    }
    return shown;
}

bool InWindowDialog::adopt(const QString &proposedName)
{
    release();
    QObject *shown = shownImplementation();
    if (!shown)
        return false;
    m_shown = shown;
    m_shown->setProperty("modal", true);
    m_shown->setProperty("closePolicy", CloseOnEscape);
    if (m_shown->inherits("QQuickFileDialogImpl")) {
        if (!proposedName.isEmpty())
            m_shown->setProperty("fileName", proposedName);
        // Qt 6.4 takes a typed name only on Enter: Save would do nothing.
        if (auto *field = m_shown->findChild<QQuickItem *>(QStringLiteral("fileNameTextField")))
            connect(field, SIGNAL(textEdited()), this, SLOT(nameEdited()), Qt::UniqueConnection);
    }
    if (m_shown->inherits("QQuickFolderDialogImpl")) {
        m_window = m_dialog->property("parentWindow").value<QWindow *>();
        if (m_window)
            m_window->installEventFilter(this);
        // A folder shown anew comes with a highlight of its own.
        connect(m_shown, SIGNAL(currentFolderChanged(QUrl)), this, SLOT(folderShown()),
                Qt::UniqueConnection);
    }
    return true;
}

QUrl InWindowDialog::chosenFolder() const
{
    if (!m_dialog)
        return QUrl();
    if (m_shown && !m_picked)
        return m_dialog->property("currentFolder").toUrl();
    return m_dialog->property("selectedFolder").toUrl();
}

QQuickItem *InWindowDialog::folderList() const
{
    // The folder dialog's content is the list of subfolders.
    return m_shown ? m_shown->property("contentItem").value<QQuickItem *>() : nullptr;
}

bool InWindowDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || !m_shown || !m_shown->property("visible").toBool())
        return false;
    QQuickItem *list = folderList();
    if (!list)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        const QPointF point = static_cast<QMouseEvent *>(event)->scenePosition();
        if (list->mapRectToScene(QRectF(0, 0, list->width(), list->height())).contains(point))
            m_picked = true;
    } else if (event->type() == QEvent::KeyPress) {
        const auto *window = qobject_cast<QQuickWindow *>(m_window);
        QQuickItem *focus = window ? window->activeFocusItem() : nullptr;
        if (focus && (focus == list || list->isAncestorOf(focus)))
            m_picked = true;
    }
    return false;
}

void InWindowDialog::nameEdited()
{
    if (!m_shown || !sender())
        return;
    // As a file URL: the dialog's own conversion reads a '#' as a fragment.
    const QDir folder(m_shown->property("currentFolder").toUrl().toLocalFile());
    const QString name = sender()->property("text").toString();
    m_shown->setProperty("selectedFile", QUrl::fromLocalFile(folder.filePath(name)));
}

void InWindowDialog::folderShown()
{
    m_picked = false;
}

void InWindowDialog::release()
{
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = nullptr;
    m_shown = nullptr;
    m_picked = false;
}
