#include "ui/brennic_main.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <exception>
#include <memory>

#include "job/VarnholdU.h"

namespace varnhold::ui {

namespace {

constexpr int DefaultResolution = 192;

// Lets the window handle its events while a conversion runs, without an event round per
// command byte: a counter skips most calls cheaply, and the clock then allows one round
// per interval. Each job gets its own pump, so nested conversions keep separate clocks.
class TEventPump {
public:
    explicit TEventPump(std::chrono::milliseconds Interval)
        : Interval(Interval), Last(std::chrono::steady_clock::now()) {}

    void operator()() {
        if (++Calls % CallsPerClockCheck != 0) return;
        if (std::chrono::steady_clock::now() - Last < Interval) return;
        QCoreApplication::processEvents();
        // Measured after the round: a nested conversion inside it may have taken long.
        Last = std::chrono::steady_clock::now();
    }

private:
    static constexpr unsigned CallsPerClockCheck = 256;
    std::chrono::steady_clock::duration Interval;
    std::chrono::steady_clock::time_point Last;
    unsigned Calls = 0;
};

// The single local .s98 file that a drag carries, or nothing.
std::optional<QString> DraggedS98File(const QMimeData* Data) {
    if (Data == nullptr || !Data->hasUrls()) return std::nullopt;
    const QList<QUrl> Urls = Data->urls();
    if (Urls.size() != 1 || !Urls.front().isLocalFile()) return std::nullopt;
    QString Path = Urls.front().toLocalFile();
    if (!Path.endsWith(QStringLiteral(".s98"), Qt::CaseInsensitive)) return std::nullopt;
    return Path;
}

QFont WindowFont() {
    // The Japanese proportional Gothic the window was drawn with, then the ones a Linux
    // desktop usually has; fontconfig's sans fallback covers any other CJK face.
    QFont Font;
    Font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("Source Han Sans JP")});
    Font.setStyleHint(QFont::SansSerif);
    Font.setPixelSize(12);
    return Font;
}

} // namespace

TForm1::TForm1(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Varnhold ver.2.1d"));
    move(232, 123);
    setFixedSize(373, 209);

    QPalette Palette = palette();
    Palette.setColor(QPalette::Window, Palette.color(QPalette::Button));
    setPalette(Palette);
    setAutoFillBackground(true);
    setFont(WindowFont());

    CreateControls();

    ChooseFile = [this]() -> std::optional<QString> {
        if (OpenDialog1->exec() != QDialog::Accepted) return std::nullopt;
        const QStringList Files = OpenDialog1->selectedFiles();
        if (Files.isEmpty()) return std::nullopt;
        return Files.front();
    };
    ReportError = [this](const QString& Message) {
        QMessageBox::critical(this, windowTitle(), Message);
    };

    setAcceptDrops(true);
    // The edit box and the memo take drops of text themselves; a dropped .s98 file on
    // them still means "convert this".
    Edit2->installEventFilter(this);
    Memo1->viewport()->installEventFilter(this);
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    Button1 = new QPushButton(QStringLiteral("Select"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(271, 159, 78, 29);

    GroupBox1 = new QGroupBox(QStringLiteral("Options"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(9, 9, 160, 123);

    struct TCheckBoxRow {
        QCheckBox*& Box;
        const char* Name;
        const char* Caption;
        int Top;
        bool Checked;
    };
    const TCheckBoxRow Rows[] = {
        {CheckBox1, "CheckBox1", "PitchBend", 19, true},
        {CheckBox2, "CheckBox2", "PitchBendVib", 37, true},
        {CheckBox3, "CheckBox3", "Panpot", 56, true},
        {CheckBox4, "CheckBox4", "Velocity", 75, false},
        {CheckBox5, "CheckBox5", "ProgramChange", 93, false},
    };
    for (const TCheckBoxRow& Row : Rows) {
        Row.Box = new QCheckBox(QString::fromLatin1(Row.Caption), GroupBox1);
        Row.Box->setObjectName(QString::fromLatin1(Row.Name));
        Row.Box->setGeometry(9, Row.Top, 132, 20);
        Row.Box->setChecked(Row.Checked);
    }

    GroupBox2 = new QGroupBox(QStringLiteral("Bar / DeltaTime"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(177, 9, 170, 123);

    Button2 = new QPushButton(QStringLiteral("Reset"), GroupBox2);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(9, 19, 58, 20);

    ScrollBar1 = new QScrollBar(Qt::Horizontal, GroupBox2);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setGeometry(9, 47, 142, 20);
    ScrollBar1->setRange(32, 1024);
    ScrollBar1->setValue(DefaultResolution);
    // Qt's page step is both the thumb's share of the track and the step of a click on
    // the track: 1 gives the smallest thumb (no page size) and keeps track clicks moving.
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(1);
    // A tab stop like the other controls; Qt's scroll bars take no focus by default and
    // invert their keys, which would make Right move the bar to the left.
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    ScrollBar1->setInvertedControls(false);

    Edit2 = new QLineEdit(QString::number(DefaultResolution), GroupBox2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(93, 19, 58, 22);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(9, 140, 254, 48);
    Memo1->setTabChangesFocus(true);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilter(QStringLiteral("S98ファイル (*.s98)"));

    QWidget* const TabOrder[] = {Button1,   CheckBox1, CheckBox2,  CheckBox3, CheckBox4,
                                 CheckBox5, Button2,   ScrollBar1, Edit2,     Memo1};
    for (std::size_t I = 1; I < std::size(TabOrder); ++I)
        setTabOrder(TabOrder[I - 1], TabOrder[I]);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(CheckBox1); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(Button2); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(ScrollBar1); });
}

void TForm1::Button1Click(QObject* /*Sender*/) {
    const std::optional<QString> FileName = ChooseFile();
    if (!FileName) return;
    ConvertFile(*FileName);
}

void TForm1::ScrollBar1Change(QObject* /*Sender*/) {
    Edit2->setText(QString::number(ScrollBar1->value()));
}

void TForm1::Button2Click(QObject* /*Sender*/) {
    // No change of position, no change event: an edited Edit2 then keeps its text.
    ScrollBar1->setValue(DefaultResolution);
}

void TForm1::CheckBox1Click(QObject* /*Sender*/) {
    // Vibrato folding only matters with pitch bends; turning them on again leaves it off.
    if (!CheckBox1->isChecked()) CheckBox2->setChecked(false);
}

void TForm1::CopyOptions(TVarnhold& Job) const {
    Job.UsePitchBend = CheckBox1->isChecked();
    Job.UsePitchBendVib = CheckBox2->isChecked();
    Job.UsePanpot = CheckBox3->isChecked();
    Job.UseVelocity = CheckBox4->isChecked();
    Job.UseProgramChange = CheckBox5->isChecked();
    // Edit2 only shows the position; text typed into it is never read.
    Job.Resolution = static_cast<std::uint32_t>(ScrollBar1->value());
}

void TForm1::RunJob(const QString& FileName) {
    const auto Job = std::make_unique<TVarnhold>();
    CopyOptions(*Job);
    Job->ProcessMessages.Set(TEventPump(PumpInterval));
    Memo1->setPlainText(QStringLiteral("Please Wait..."));
    Job->Convert(QFile::encodeName(FileName).toStdString());
    Memo1->setPlainText(QString::fromStdString(Job->ResultText));
}

void TForm1::ConvertFile(const QString& FileName) {
    // The job is gone before the report is shown, and an error must not unwind through
    // Qt's event loop; the memo keeps "Please Wait..." after a failure.
    std::optional<QString> Failure;
    try {
        RunJob(FileName);
    } catch (const std::exception& Error) {
        Failure = QString::fromStdString(Error.what());
    } catch (...) {
        Failure = QStringLiteral("An unexpected error ended the conversion of %1.").arg(FileName);
    }
    if (Failure) ReportError(*Failure);
}

bool TForm1::HandleDrag(QDropEvent* Event) {
    const std::optional<QString> FileName = DraggedS98File(Event->mimeData());
    // Copy only: a move would let the source delete the file it hands over.
    if (!FileName || !(Event->possibleActions() & Qt::CopyAction)) return false;
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    if (Event->type() == QEvent::Drop) {
        // Converted after the drop has been answered, so the drag source is not kept
        // waiting for the whole conversion.
        QMetaObject::invokeMethod(
            this, [this, Path = *FileName] { ConvertFile(Path); }, Qt::QueuedConnection);
    }
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* Event) {
    if (!HandleDrag(Event)) QWidget::dragEnterEvent(Event);
}

void TForm1::dragMoveEvent(QDragMoveEvent* Event) {
    if (!HandleDrag(Event)) QWidget::dragMoveEvent(Event);
}

void TForm1::dropEvent(QDropEvent* Event) {
    if (!HandleDrag(Event)) QWidget::dropEvent(Event);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (HandleDrag(static_cast<QDropEvent*>(Event))) return true;
        break;
    default: break;
    }
    return QWidget::eventFilter(Watched, Event);
}

} // namespace varnhold::ui
