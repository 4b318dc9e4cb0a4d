// The video window's media list: a tree view of one level whose rows can be dragged into
// a new order and onto which files and folders can be dropped. It moves nothing itself:
// it says what was asked, and the window changes the job's list and shows it again.
#pragma once

#include <QStringList>
#include <QTreeWidget>

#include <vector>

class CMediaListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CMediaListView(QWidget* parent);

    // The rows now selected, in order.
    std::vector<int> SelectedRows() const;
    // Where a drop at `position` (viewport coordinates) puts the rows: the index of the
    // row they are put before (the row count: at the end).
    int InsertionRow(const QPoint& position) const;

signals:
    // The rows `rows` were dragged to stand before row `insertAt`.
    void rowsDragged(const std::vector<int>& rows, int insertAt);
    // Files or folders were dropped from outside (local paths).
    void filesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
