// The slide-show window's photo list: thumbnails in rows that wrap, photos reordered by
// dragging them inside the list, files dropped in from a file manager, and the Insert
// and Delete keys. It only reports what the person did; the window changes the album
// and fills the list again from it.
#pragma once

#include <QListWidget>
#include <QStringList>
#include <vector>

class CPhotoListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit CPhotoListWidget(QWidget* parent = nullptr);

    // The selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    // The row a drop at `pos` (viewport coordinates) puts photos in front of: the
    // photo under it, or the one after it when the drop is on its right half; the
    // list's length past the last photo.
    int DropRow(const QPoint& pos) const;

signals:
    // Photos at `rows` were dragged in front of the photo at `destination`.
    void RowsDropped(const std::vector<int>& rows, int destination);
    // Files were dropped in from outside.
    void FilesDropped(const QStringList& paths);
    // The Insert key asks to add photos, the Delete key to remove the selected ones.
    void InsertPressed();
    void DeletePressed();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
