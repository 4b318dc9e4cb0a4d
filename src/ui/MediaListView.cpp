#include "ui/MediaListView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace {

// The local files a drop carries.
QStringList LocalPaths(const QMimeData* mime)
{
    QStringList paths;
    if (!mime) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

}  // namespace

CMediaListView::CMediaListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    header()->setStretchLastSection(false);
}

std::vector<int> CMediaListView::SelectedRows() const
{
    std::vector<int> rows;
    for (QTreeWidgetItem* item : selectedItems()) rows.push_back(indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CMediaListView::InsertionRow(const QPoint& position) const
{
    QTreeWidgetItem* item = itemAt(position);
    if (!item) return topLevelItemCount();
    const int row = indexOfTopLevelItem(item);
    // The lower half of a row puts the dragged rows after it.
    const QRect rect = visualItemRect(item);
    return position.y() >= rect.center().y() ? row + 1 : row;
}

void CMediaListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == this) {
        QTreeWidget::dragEnterEvent(event);
    } else if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CMediaListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() == this) {
        QTreeWidget::dragMoveEvent(event);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CMediaListView::dropEvent(QDropEvent* event)
{
    if (event->source() == this) {
        // The item view would move the items itself; the window moves the rows instead,
        // so the drop is taken without any action of the view's own.
        const std::vector<int> rows = SelectedRows();
        const int insertAt = InsertionRow(event->position().toPoint());
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        setState(QAbstractItemView::NoState);
        viewport()->update();
        // Told after the drag has ended: the window fills the list again.
        if (!rows.empty())
            QMetaObject::invokeMethod(
                this, [this, rows, insertAt] { emit rowsDragged(rows, insertAt); }, Qt::QueuedConnection);
        return;
    }
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}
