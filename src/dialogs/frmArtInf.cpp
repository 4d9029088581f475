#include "frmArtInf.h"

#include "DialogLook.h"
#include "ScreenReader.h"

#include "settings/FormGeometry.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

using DialogLook::twipsRect;

namespace {

const QColor Blue(0, 0, 255);
const QColor Navy(0, 0, 128);
const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);

// The link label's index in the label array.
constexpr int LinkLabel = 6;

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

frmArtInf::frmArtInf(IniWizard &ini, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ini(ini)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("frmArtInf"));
    setWindowTitle(QStringLiteral("ARTICLES"));
    setAttribute(Qt::WA_DeleteOnClose);
    DialogLook::loadPictures();
    DialogLook::paintLightGrey(this);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setFont(DialogLook::classicFont(7.8, true));
    resize(DialogLook::twipsSize(4632, 5376));

    // Made in design order, so later controls lie above earlier ones.
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    Frame1->setGeometry(twipsRect(480, 1200, 3972, 3012));
    // Moving over the frame's own background resets the link's colour.
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);

    // The contact block; the department's lines are those the main window
    // shows under its logo.
    makeLabel(0, Frame1, QStringLiteral("Claire Mestral"), twipsRect(240, 240, 1452, 252), Blue);
    makeLabel(1, Frame1, QStringLiteral("Département de chimie"), twipsRect(240, 600, 2292, 252), Navy);
    makeLabel(2, Frame1, QStringLiteral("Chemin des Lilas 4"), twipsRect(240, 840, 2652, 252), Navy);
    makeLabel(3, Frame1, QStringLiteral("1234 Bellerive"), twipsRect(240, 1080, 2052, 252), Navy);
    makeLabel(4, Frame1, QStringLiteral("tel    021 555 01 23"), twipsRect(240, 1320, 2772, 252), Navy);
    makeLabel(5, Frame1, QStringLiteral("fax    021 555 01 24"), twipsRect(240, 1560, 2772, 252), Navy);
    makeLabel(7, Frame1, QStringLiteral("mestral@example.org"), twipsRect(1800, 240, 1572, 252), Navy);
    makeLabel(8, Frame1, QStringLiteral("Programme : Julien Favre"), twipsRect(240, 2280, 2772, 252), Blue);
    makeLabel(9, Frame1, QStringLiteral("j.favre@example.org"), twipsRect(240, 2520, 2772, 252), Navy);
    QLabel *link = makeLabel(LinkLabel, Frame1, QStringLiteral("http://www.example.org/korva/"),
                             twipsRect(240, 1920, 3492, 252), Navy);
    QFont linkFont = link->font();
    linkFont.setUnderline(true);
    link->setFont(linkFont);
    // The pointing hand's finger tip is the hot spot.
    link->setCursor(QCursor(QPixmap(QStringLiteral(":/images/link.png")), 9, 1));
    link->setToolTip(QStringLiteral("Cliquer et visiter notre site Internet"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmArtInf::Timer1_Timer);

    cmdOk = new QPushButton(QStringLiteral("&OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setFont(DialogLook::classicFont(13.8, true));
    cmdOk->setGeometry(twipsRect(1680, 4320, 1332, 492));
    // Neither default nor cancel button: Enter presses OK only while it has
    // the focus, Esc does nothing.
    cmdOk->setAutoDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, &frmArtInf::cmdOk_Click);

    Image3 = new QLabel(this);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(twipsRect(3360, 120, 852, 732));
    Image3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image3->setPixmap(QPixmap(QStringLiteral(":/images/ferulan.png")));
    Image3->resize(Image3->pixmap().deviceIndependentSize().toSize());

    QLabel *title = makeLabel(11, this, QStringLiteral("FERULAN 5"), twipsRect(1200, 840, 2292, 492), Red);
    title->setFont(DialogLook::classicFont(13.8, true));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twipsRect(120, 0, 972, 1092));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    makeLabel(10, this, QStringLiteral("Le KORVA présente"), twipsRect(1200, 480, 3612, 252), Blue);

    // The animation frames, held by invisible images.
    for (int i : {2, 1, 0}) {
        auto *frame = new QLabel(this);
        frame->setObjectName(QStringLiteral("Image2_%1").arg(i));
        frame->setGeometry(twipsRect(0, 0, 876, 948));
        frame->setPixmap(QPixmap(QStringLiteral(":/images/logo%1.png").arg(i + 1)));
        frame->setVisible(false);
        Image2.insert(i, frame);
    }

    // The labels are read by their texts.
    ScreenReader::describe(this, {
        {"cmdOk", "OK", "Fermer la fenêtre"},
        {"Image1", "Logo animé du KORVA"},
        {"Image3", "Icône de Ferulan"},
        {"Label2_6", "Site Internet du KORVA : http://www.example.org/korva/"},
    });

    cmdOk->setFocus(Qt::OtherFocusReason);
    Form_Load();
    Timer1->start();
}

QLabel *frmArtInf::makeLabel(int index, QWidget *container, const QString &text, QRect place, QColor colour)
{
    auto *label = new QLabel(text, container);
    label->setObjectName(QStringLiteral("Label2_%1").arg(index));
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label, colour);
    label->setMouseTracking(true);
    label->installEventFilter(this);
    Label2.insert(index, label);
    return label;
}

void frmArtInf::Form_Load()
{
    INILoadFormSize(m_ini, this);
}

void frmArtInf::Form_Unload()
{
    INISaveFormSize(m_ini, this);
}

void frmArtInf::cmdOk_Click()
{
    close();
}

void frmArtInf::Timer1_Timer()
{
    m_frame = qint16((m_frame + 1) % 3);
    const QPixmap picture = Image2.value(m_frame)->pixmap();
    // An image takes the size of its picture, as the frames are drawn.
    Image1->resize(picture.deviceIndependentSize().toSize());
    Image1->setPixmap(picture);
}

void frmArtInf::Label2_Click(int index)
{
    // Any label of the array opens the site; a failure stays silent.
    Q_UNUSED(index);
    m_openUrl(QUrl::fromUserInput(Label2.value(LinkLabel)->text()));
}

void frmArtInf::Label2_MouseMove(int index)
{
    if (index == LinkLabel)
        setTextColour(Label2.value(LinkLabel), Yellow);
}

void frmArtInf::Frame1_MouseMove()
{
    setTextColour(Label2.value(LinkLabel), Navy);
}

bool frmArtInf::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Frame1) {
        if (event->type() == QEvent::MouseMove)
            Frame1_MouseMove();
        return QWidget::eventFilter(watched, event);
    }
    const int index = Label2.key(qobject_cast<QLabel *>(watched), -1);
    if (index < 0)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        Label2_MouseMove(index);
        // Kept from the frame below, which would undo the colour at once.
        return true;
    case QEvent::MouseButtonPress:
        return true;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Label2.value(index)->rect().contains(mouse->position().toPoint()))
            Label2_Click(index);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void frmArtInf::closeEvent(QCloseEvent *event)
{
    Timer1->stop();
    Form_Unload();
    event->accept();
}
