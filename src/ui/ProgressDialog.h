// The progress window of a long job: caption, a text above a bar of 0..100 and a Cancel
// button. Cancel, Escape and closing the window all ask to cancel; the window stays
// until the job that opened it closes it, so the person sees the job wind down.
#pragma once

#include <QDialog>

#include <atomic>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

// What the job's thread reads while the window lives on the window thread.
struct SProgressShared {
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> havePosition{false};
    std::atomic<int> x{0};
    std::atomic<int> y{0};
};

class CProgressDialog : public QDialog {
    Q_OBJECT
public:
    CProgressDialog(QWidget* parent, const QString& title, const QString& body,
                    std::shared_ptr<SProgressShared> shared);

    void SetText(const QString& text);
    void SetBar(int percent);
    // Places the window at a remembered screen position, when that lies on a screen.
    void PlaceAt(int x, int y);
    // Asks to cancel, as the Cancel button does.
    void RequestCancel();

    QLabel* TextLabel() const { return text; }
    QProgressBar* Bar() const { return bar; }
    QPushButton* CancelButton() const { return cancel; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    QLabel* text;
    QProgressBar* bar;
    QPushButton* cancel;
    std::shared_ptr<SProgressShared> shared;
};
