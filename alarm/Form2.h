#pragma once

#include <QDialog>

#include <functional>

class Form1;
class MMControl;
class QTreeWidget;
class QLabel;

// The alert: one row with location, target and current temperature, and the
// alarm sound played once. Loaded afresh for every alert.
class Form2 : public QDialog {
    Q_OBJECT

public:
    explicit Form2(Form1* owner);
    ~Form2() override;

    // Opens an alert over the main window and returns when the user closed it.
    static void showAlert(Form1* owner);
    // Called with every alert as it opens (tests answer it).
    static void setOpenedHook(std::function<void(Form2*)> hook);

    QTreeWidget* ListView1 = nullptr;
    MMControl* MMControl1 = nullptr;
    // Says why the alert is silent; hidden while the sound is fine.
    QLabel* SoundProblem = nullptr;

private:
    void Form_Load();
    void showSoundProblem(const QString& text);

    Form1* m_owner;
};
