#include "ui/PhotoListWidget.h"

#include "ui/ThumbnailMaker.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

CPhotoListWidget::CPhotoListWidget(QWidget* parent) : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    // Items keep their places in the grid; a drag reorders the album instead.
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);
    setIconSize(QSize(CThumbnailMaker::kSide, CThumbnailMaker::kSide));
    setGridSize(QSize(CThumbnailMaker::kSide + 36, CThumbnailMaker::kSide + 30));
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

std::vector<int> CPhotoListWidget::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CPhotoListWidget::DropRow(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) return count();
    const QRect rect = visualRect(index);
    return pos.x() > rect.center().x() ? index.row() + 1 : index.row();
}

void CPhotoListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == this || event->mimeData()->hasUrls()) {
        event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CPhotoListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() == this || event->mimeData()->hasUrls()) {
        event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CPhotoListWidget::dropEvent(QDropEvent* event)
{
    if (event->source() == this) {
        const std::vector<int> rows = SelectedRows();
        const int destination = DropRow(event->position().toPoint());
        // Reported as a copy so that the drag does not remove the dragged items: the
        // window fills the list again in the new order.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (!rows.empty()) emit RowsDropped(rows, destination);
        return;
    }
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!paths.isEmpty()) emit FilesDropped(paths);
}

void CPhotoListWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Insert) {
        emit InsertPressed();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        emit DeletePressed();
        return;
    }
    QListWidget::keyPressEvent(event);
}
