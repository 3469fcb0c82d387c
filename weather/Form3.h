#pragma once

#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

class Form1;
namespace Ui
{
class Form3;
}

// The API key dialog: where to get a key, the key itself (saved as it is
// typed) and a test of the key against the weather service. OK hides it and
// keeps it loaded; the close box unloads it. Either way the main window,
// hidden while the dialog is open, comes back.
class Form3 : public QWidget
{
    Q_OBJECT

public:
    explicit Form3(Form1* main);
    ~Form3() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Text1_Change();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton6_Click();
    void openPage(const QString& operation, const QString& address);

    QScopedPointer<Ui::Form3> ui;
    QPointer<Form1> m_main;
    bool m_centred = false;
};
