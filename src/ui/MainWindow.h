// The main window: the four tasks, each a button with its title and a line saying what
// it does, the language button with its menu, and Exit. A task whose window this
// version lacks is shown disabled with a tool tip saying so.
#pragma once

#include <QDialog>
#include <QPointer>

#include <string>

class QCommandLinkButton;
class QPushButton;
class QToolButton;
class QMenu;

class CMainWindow : public QDialog {
    Q_OBJECT
public:
    explicit CMainWindow(QWidget* parent = nullptr);

    // Opens the slide-show window (after the screen-size question on a small screen),
    // with `projectFile` loaded when not empty. Returns the window, or null when the
    // person declined.
    QWidget* OpenSlideShow(const std::string& projectFile);
    // Sets every label and tool tip again in the current language.
    void Relabel();

    QCommandLinkButton* TaskButton(int task) const { return tasks[task]; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FillLanguageMenu();
    // The fourth task: choose an existing DVD or disc image and burn it.
    void BurnExisting();

    QCommandLinkButton* tasks[4] = {};
    QToolButton* language = nullptr;
    QMenu* languageMenu = nullptr;
    QPushButton* isoButton = nullptr;
    QPushButton* exitButton = nullptr;
    QPointer<QWidget> slideShow;
};
