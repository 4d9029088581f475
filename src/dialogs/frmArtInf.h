#pragma once

#include <QMap>
#include <QUrl>
#include <QWidget>

#include <functional>

class IniWizard;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

// The about box: an animated logo, the program's title, the publisher's
// contact lines and a link to its web site. Modeless and without owner; OK
// and the close box unload it and store its place.
class frmArtInf : public QWidget {
    Q_OBJECT

public:
    // Hands a web address to the user's browser; its result is not looked at.
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit frmArtInf(IniWizard &ini, QWidget *parent = nullptr);

    // Replaces the browser hand-off (tests record the address instead).
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // The frame counter of the animation: 0 before the first tick.
    int frameCounter() const { return m_frame; }

    void cmdOk_Click();
    void Timer1_Timer();
    void Label2_Click(int index);
    void Label2_MouseMove(int index);
    void Frame1_MouseMove();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *makeLabel(int index, QWidget *container, const QString &text, QRect place, QColor colour);
    void Form_Load();
    void Form_Unload();

    IniWizard &m_ini;
    UrlOpener m_openUrl;
    qint16 m_frame = 0;

    QFrame *Frame1 = nullptr;
    QMap<int, QLabel *> Label2;
    QTimer *Timer1 = nullptr;
    QPushButton *cmdOk = nullptr;
    QLabel *Image3 = nullptr;
    QLabel *Image1 = nullptr;
    QMap<int, QLabel *> Image2;
};
