// The "Set Source Range" dialog of the video window: the file's name and length and two
// HH:mm:ss pickers for the start and end of the part of it that becomes the title.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QTimeEdit;

class CRangeWindow : public QDialog {
    Q_OBJECT
public:
    // Shows `path` with its length `durationSeconds` and the pickers set to `start` and
    // `end` (whole seconds).
    CRangeWindow(QWidget* parent, const std::string& path, double durationSeconds, int64_t start, int64_t end);

    // The chosen start and end in whole seconds, with the dialog's rules applied: an end
    // of 0 becomes 1, a start not before the end becomes end - 1.
    int64_t Start() const { return start; }
    int64_t End() const { return end; }

    // Sets both pickers (as a person would), in whole seconds.
    void SetTimes(int64_t startSeconds, int64_t endSeconds);

    void accept() override;

private:
    QTimeEdit* startEdit;
    QTimeEdit* endEdit;
    int64_t start;
    int64_t end;
};
