// The main window driven as a user would: clicks, keys and drops on the real form, with
// the open dialog and the error report replaced by plain functions.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "job/VarnholdU.h"
#include "support/TestSupport.h"
#include "ui/brennic_main.h"

namespace varnhold::ui {
namespace {

using tools::TS98Builder;

const QString PleaseWait = QStringLiteral("Please Wait...");
const QString BadSizeMessage =
    QStringLiteral("ファイルが読み込めない又はファイルサイズが不正です.");

// A version 3 log of one YM3812, whose writes are accepted and not interpreted: it
// converts to a MIDI file that holds only the set-up events.
TS98Builder SetupOnlyLog() {
    TS98Builder Log('3');
    Log.Device(tools::S98YM3812, 3579545).Write(0, 0, 0x20, 0x01).Wait(10).End();
    return Log;
}

class WindowTest : public ::testing::Test {
protected:
    TForm1 Form;
    test::TTempDir Dir;
    std::deque<std::optional<QString>> Choices; // what the open dialog answers, in turn
    int DialogCalls = 0;
    QStringList Reports;

    void SetUp() override {
        Form.ChooseFile = [this]() -> std::optional<QString> {
            ++DialogCalls;
            if (Choices.empty()) return std::nullopt;
            std::optional<QString> Choice = Choices.front();
            Choices.pop_front();
            return Choice;
        };
        Form.ReportError = [this](const QString& Message) { Reports << Message; };
        Form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    }

    QString Save(const std::string& Name, const TS98Builder& Log) {
        Log.Save(Dir.File(Name));
        return QString::fromStdString(Dir.File(Name));
    }
    QString SaveBytes(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
        test::WriteFileBytes(Dir.File(Name), Bytes);
        return QString::fromStdString(Dir.File(Name));
    }
    void Select(const std::optional<QString>& Choice) {
        Choices.push_back(Choice);
        QTest::mouseClick(Form.Button1, Qt::LeftButton);
    }
    QString Memo() const { return Form.Memo1->toPlainText(); }

    // The MIDI files that conversions left in the directory.
    std::vector<std::string> MidiFiles() const {
        std::vector<std::string> Files;
        for (const auto& Entry : std::filesystem::directory_iterator(Dir.Path()))
            if (Entry.path().extension() == ".mid") Files.push_back(Entry.path().string());
        return Files;
    }
};

// ---- start-up state and layout ----

TEST_F(WindowTest, StartsWithTheSpecifiedStateAndFixedDialogFrame) {
    EXPECT_EQ(Form.objectName(), "Form1");
    EXPECT_EQ(Form.windowTitle(), "Varnhold ver.2.1d");
    EXPECT_EQ(Form.size(), QSize(373, 209));
    EXPECT_EQ(Form.minimumSize(), QSize(373, 209));
    EXPECT_EQ(Form.maximumSize(), QSize(373, 209));
    EXPECT_EQ(Form.pos(), QPoint(232, 123));
    EXPECT_FALSE(Form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(Form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(Form.palette().color(QPalette::Window), Form.palette().color(QPalette::Button));

    EXPECT_TRUE(Form.CheckBox1->isChecked());
    EXPECT_TRUE(Form.CheckBox2->isChecked());
    EXPECT_TRUE(Form.CheckBox3->isChecked());
    EXPECT_FALSE(Form.CheckBox4->isChecked());
    EXPECT_FALSE(Form.CheckBox5->isChecked());
    EXPECT_EQ(Form.ScrollBar1->minimum(), 32);
    EXPECT_EQ(Form.ScrollBar1->maximum(), 1024);
    EXPECT_EQ(Form.ScrollBar1->value(), 192);
    EXPECT_EQ(Form.ScrollBar1->orientation(), Qt::Horizontal);
    EXPECT_EQ(Form.Edit2->text(), "192");
    EXPECT_EQ(Memo(), "");
    EXPECT_FALSE(Form.Memo1->isReadOnly());
    EXPECT_FALSE(Form.Edit2->isReadOnly());
}

struct TControlRow {
    const char* Name;
    const char* Parent;
    QRect Geometry;
    const char* Caption; // nullptr: the control has none
};

const TControlRow ControlRows[] = {
    {"Button1", "Form1", {271, 159, 78, 29}, "Select"},
    {"GroupBox1", "Form1", {9, 9, 160, 123}, "Options"},
    {"CheckBox1", "GroupBox1", {9, 19, 132, 20}, "PitchBend"},
    {"CheckBox2", "GroupBox1", {9, 37, 132, 20}, "PitchBendVib"},
    {"CheckBox3", "GroupBox1", {9, 56, 132, 20}, "Panpot"},
    {"CheckBox4", "GroupBox1", {9, 75, 132, 20}, "Velocity"},
    {"CheckBox5", "GroupBox1", {9, 93, 132, 20}, "ProgramChange"},
    {"GroupBox2", "Form1", {177, 9, 170, 123}, "Bar / DeltaTime"},
    {"Button2", "GroupBox2", {9, 19, 58, 20}, "Reset"},
    {"ScrollBar1", "GroupBox2", {9, 47, 142, 20}, nullptr},
    {"Edit2", "GroupBox2", {93, 19, 58, 22}, "192"},
    {"Memo1", "Form1", {9, 140, 254, 48}, ""},
};

TEST_F(WindowTest, ControlsHaveTheirNamesParentsBoundsAndCaptions) {
    for (const TControlRow& Row : ControlRows) {
        SCOPED_TRACE(Row.Name);
        auto* Control = Form.findChild<QWidget*>(QString::fromLatin1(Row.Name));
        ASSERT_NE(Control, nullptr);
        ASSERT_NE(Control->parentWidget(), nullptr);
        EXPECT_EQ(Control->parentWidget()->objectName(), Row.Parent);
        EXPECT_EQ(Control->geometry(), Row.Geometry);
        EXPECT_TRUE(Control->isVisible());
        EXPECT_TRUE(Control->isEnabled());
        QString Caption;
        if (auto* Button = qobject_cast<QAbstractButton*>(Control))
            Caption = Button->text();
        else if (auto* Box = qobject_cast<QGroupBox*>(Control))
            Caption = Box->title();
        else if (auto* Edit = qobject_cast<QLineEdit*>(Control))
            Caption = Edit->text();
        else if (auto* Memo = qobject_cast<QPlainTextEdit*>(Control))
            Caption = Memo->toPlainText();
        if (Row.Caption != nullptr) {
            EXPECT_EQ(Caption, QString::fromUtf8(Row.Caption));
        }
    }
}

TEST_F(WindowTest, TabVisitsTheControlsInFormOrder) {
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Form.Button1->setFocus();
    const QStringList Expected = {"CheckBox1", "CheckBox2",  "CheckBox3", "CheckBox4", "CheckBox5",
                                  "Button2",   "ScrollBar1", "Edit2",     "Memo1",     "Button1"};
    QStringList Visited;
    for (qsizetype I = 0; I < Expected.size(); ++I) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        Visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                : QString());
    }
    EXPECT_EQ(Visited, Expected);
}

TEST_F(WindowTest, OpenDialogOffersOnlyS98FilesAndStaysHidden) {
    auto* Dialog = Form.findChild<QFileDialog*>(QStringLiteral("OpenDialog1"));
    ASSERT_EQ(Dialog, Form.OpenDialog1);
    ASSERT_NE(Dialog, nullptr);
    EXPECT_EQ(Dialog->nameFilters(), QStringList{QStringLiteral("S98ファイル (*.s98)")});
    EXPECT_EQ(Dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(Dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(Dialog->defaultSuffix(), "");
    EXPECT_FALSE(Dialog->isVisible());
}

TEST_F(WindowTest, FontIsA12PixelGothicThatCoversJapanese) {
    const QFontInfo Info(Form.Memo1->font());
    EXPECT_EQ(Info.pixelSize(), 12);
    EXPECT_TRUE(QFontDatabase::writingSystems(Info.family()).contains(QFontDatabase::Japanese))
        << Info.family().toStdString();
}

// ---- option handlers ----

TEST_F(WindowTest, UncheckingPitchBendUnchecksVibratoButCheckingLeavesIt) {
    auto Click = [](QCheckBox* Box) { QTest::mouseClick(Box, Qt::LeftButton); };
    Click(Form.CheckBox1);
    EXPECT_FALSE(Form.CheckBox1->isChecked());
    EXPECT_FALSE(Form.CheckBox2->isChecked());

    Click(Form.CheckBox1);
    EXPECT_TRUE(Form.CheckBox1->isChecked());
    EXPECT_FALSE(Form.CheckBox2->isChecked());

    // Vibrato can be set by hand whatever PitchBend says, and survives PitchBend coming on.
    Click(Form.CheckBox1);
    Click(Form.CheckBox2);
    EXPECT_FALSE(Form.CheckBox1->isChecked());
    EXPECT_TRUE(Form.CheckBox2->isChecked());
    Click(Form.CheckBox1);
    EXPECT_TRUE(Form.CheckBox2->isChecked());
}

TEST_F(WindowTest, ScrollBarPositionIsShownInTheEditBox) {
    struct {
        Qt::Key Key;
        const char* Shown;
    } const Steps[] = {
        {Qt::Key_Home, "32"}, {Qt::Key_Right, "33"}, {Qt::Key_End, "1024"}, {Qt::Key_Left, "1023"}};
    for (const auto& Step : Steps) {
        QTest::keyClick(Form.ScrollBar1, Step.Key);
        EXPECT_EQ(Form.Edit2->text(), Step.Shown);
    }
}

TEST_F(WindowTest, ResetMovesTheScrollBarBackTo192) {
    Form.ScrollBar1->setValue(500);
    ASSERT_EQ(Form.Edit2->text(), "500");
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_EQ(Form.ScrollBar1->value(), 192);
    EXPECT_EQ(Form.Edit2->text(), "192");
}

TEST_F(WindowTest, ResetAt192LeavesEditedTextAlone) {
    Form.Edit2->clear();
    QTest::keyClicks(Form.Edit2, "777");
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_EQ(Form.ScrollBar1->value(), 192);
    EXPECT_EQ(Form.Edit2->text(), "777");
}

TEST_F(WindowTest, EachCheckBoxFeedsItsOwnJobOption) {
    struct {
        QCheckBox* Box;
        bool TVarnhold::*Option;
    } const Map[] = {
        {Form.CheckBox1, &TVarnhold::UsePitchBend},
        {Form.CheckBox2, &TVarnhold::UsePitchBendVib},
        {Form.CheckBox3, &TVarnhold::UsePanpot},
        {Form.CheckBox4, &TVarnhold::UseVelocity},
        {Form.CheckBox5, &TVarnhold::UseProgramChange},
    };
    for (bool Lone : {true, false}) {
        for (const auto& Target : Map) {
            SCOPED_TRACE(Target.Box->objectName().toStdString() + (Lone ? " alone" : " off"));
            // CheckBox1 first: its handler may clear CheckBox2.
            for (const auto& Row : Map)
                Row.Box->setChecked((Row.Box == Target.Box) == Lone);
            TVarnhold Job;
            Form.CopyOptions(Job);
            for (const auto& Row : Map)
                EXPECT_EQ(Job.*Row.Option, (Row.Box == Target.Box) == Lone);
        }
    }
    Form.ScrollBar1->setValue(777);
    TVarnhold Job;
    Form.CopyOptions(Job);
    EXPECT_EQ(Job.Resolution, 777u);
}

// ---- Select and the result text ----

TEST_F(WindowTest, CancellingTheDialogLeavesTheMemo) {
    Form.Memo1->setPlainText("earlier result");
    Select(std::nullopt);
    EXPECT_EQ(DialogCalls, 1);
    EXPECT_EQ(Memo(), "earlier result");
    EXPECT_TRUE(Reports.isEmpty());
    EXPECT_TRUE(MidiFiles().empty());
}

TEST_F(WindowTest, ValidFileEndsWithDoneAndWritesAMidiFile) {
    Select(Save("song.s98", SetupOnlyLog()));
    EXPECT_EQ(Memo(), "[Done]");
    EXPECT_TRUE(Reports.isEmpty());
    EXPECT_EQ(MidiFiles().size(), 1u);
}

TEST_F(WindowTest, TenByteFileShowsTheSizeMessage) {
    Select(SaveBytes("short.s98", {'S', '9', '8', '3', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Memo(), BadSizeMessage);
    EXPECT_TRUE(Reports.isEmpty());
    EXPECT_TRUE(MidiFiles().empty());
}

// The tempo of the written file, microseconds per quarter note (FF 51 03 tt tt tt).
std::optional<std::uint32_t> TempoOf(const std::vector<std::uint8_t>& Midi) {
    for (std::size_t I = 0; I + 5 < Midi.size(); ++I)
        if (Midi[I] == 0xFF && Midi[I + 1] == 0x51 && Midi[I + 2] == 0x03)
            return (std::uint32_t{Midi[I + 3]} << 16) | (Midi[I + 4] << 8) | Midi[I + 5];
    return std::nullopt;
}

// The first expression value (controller 11) sent on channel 0.
std::optional<int> ExpressionOf(const std::vector<std::uint8_t>& Midi) {
    for (std::size_t I = 0; I + 2 < Midi.size(); ++I)
        if (Midi[I] == 0xB0 && Midi[I + 1] == 11) return Midi[I + 2];
    return std::nullopt;
}

TEST_F(WindowTest, ConversionUsesTheScrollBarAndOptionsNotTheEditText) {
    struct {
        const char* Name;
        int Position;
        const char* Typed; // into Edit2 after positioning the scroll bar
        bool Velocity;
        std::uint32_t Tempo; // 60,000,000 / (23040 / Resolution)
        int Expression;
    } const Cases[] = {
        {"typed 500 at 192", 192, "500", false, 500000, 0},
        {"scroll bar at 1024", 1024, nullptr, false, 2727272, 0},
        {"scroll bar at 32 with velocity", 32, nullptr, true, 83333, 127},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Form.ScrollBar1->setValue(Case.Position);
        if (Case.Typed != nullptr) {
            Form.Edit2->selectAll();
            QTest::keyClicks(Form.Edit2, Case.Typed);
            ASSERT_EQ(Form.Edit2->text(), Case.Typed);
        }
        Form.CheckBox4->setChecked(Case.Velocity);
        const std::string Name = std::string("case") + std::to_string(Case.Position) + ".s98";
        for (const std::string& Old : MidiFiles())
            std::filesystem::remove(Old);
        Select(Save(Name, SetupOnlyLog()));
        ASSERT_EQ(Memo(), "[Done]");
        const std::vector<std::string> Files = MidiFiles();
        ASSERT_EQ(Files.size(), 1u);
        const std::vector<std::uint8_t> Midi = test::ReadFileBytes(Files.front());
        EXPECT_EQ(TempoOf(Midi), Case.Tempo);
        EXPECT_EQ(ExpressionOf(Midi), Case.Expression);
    }
}

TEST_F(WindowTest, EscapingErrorGoesToTheReportAndMemoKeepsPleaseWait) {
    struct {
        const char* Name;
        bool Exists;
        TS98Builder Log;
    } const Cases[] = {
        {"missing.s98", false, SetupOnlyLog()},
        // One device record, a write to device 5: no chip model to take it.
        {"nodevice.s98", true,
         [] {
             TS98Builder Log('3');
             Log.Device(tools::S98YM3812, 3579545).Write(5, 0, 0x20, 0x01).Wait().End();
             return Log;
         }()},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Reports.clear();
        Form.Memo1->clear();
        const QString Path =
            Case.Exists ? Save(Case.Name, Case.Log) : QString::fromStdString(Dir.File(Case.Name));
        Select(Path);
        ASSERT_EQ(Reports.size(), 1);
        EXPECT_FALSE(Reports.front().isEmpty());
        if (!Case.Exists) {
            EXPECT_TRUE(Reports.front().contains(Path)) << Reports.front().toStdString();
        }
        EXPECT_EQ(Memo(), PleaseWait);
        EXPECT_TRUE(MidiFiles().empty());
        EXPECT_TRUE(Form.Button1->isEnabled());
    }
    // The window carries on: the next file converts normally.
    Reports.clear();
    Select(Save("after.s98", SetupOnlyLog()));
    EXPECT_EQ(Memo(), "[Done]");
    EXPECT_TRUE(Reports.isEmpty());
}

TEST_F(WindowTest, SelectDuringAConversionRunsASecondOneNested) {
    Form.PumpInterval = std::chrono::milliseconds(0); // pump at every counter check
    TS98Builder Long('3');
    Long.Device(tools::S98YM3812, 3579545);
    for (int I = 0; I < 20000; ++I)
        Long.Wait();
    Long.End();
    const QString Outer = Save("long.s98", Long);
    const QString Inner = SaveBytes("short.s98", {'S', '9', '8', '3', 0, 0, 0, 0, 0, 0});

    QStringList Shown; // the memo's texts, in order, without repeats
    QObject::connect(Form.Memo1, &QPlainTextEdit::textChanged, [&] {
        if (Shown.isEmpty() || Shown.back() != Memo()) Shown << Memo();
    });
    QString MemoAtInnerDialog;
    Form.ChooseFile = [&]() -> std::optional<QString> {
        ++DialogCalls;
        if (DialogCalls == 1) {
            // Pressed again once the first conversion is under way.
            QTimer::singleShot(0, Form.Button1,
                               [&] { QTest::mouseClick(Form.Button1, Qt::LeftButton); });
            return Outer;
        }
        MemoAtInnerDialog = Memo();
        return Inner;
    };
    QTest::mouseClick(Form.Button1, Qt::LeftButton);

    EXPECT_EQ(DialogCalls, 2);
    EXPECT_EQ(MemoAtInnerDialog, PleaseWait); // the first conversion was still running
    EXPECT_EQ(Shown, (QStringList{PleaseWait, BadSizeMessage, "[Done]"}));
    EXPECT_EQ(Memo(), "[Done]");
    EXPECT_EQ(MidiFiles().size(), 1u);
}

// ---- drag and drop ----

struct TDropTarget {
    const char* Name;
    QWidget* (*Get)(TForm1&);
};

const TDropTarget DropTargets[] = {
    {"window", [](TForm1& Form) -> QWidget* { return &Form; }},
    {"memo", [](TForm1& Form) -> QWidget* { return Form.Memo1->viewport(); }},
    {"edit box", [](TForm1& Form) -> QWidget* { return Form.Edit2; }},
};

// Sends a drag's entry and its drop to Target; returns whether each was accepted.
std::pair<bool, bool> DragAndDrop(QWidget* Target, const QMimeData& Data) {
    const Qt::DropActions Actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent Enter(QPoint(5, 5), Actions, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &Enter);
    // Shift proposes a move, as a file manager does between folders of one disk.
    QDropEvent Drop(QPointF(5, 5), Actions, &Data, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(Target, &Drop);
    const bool Copies = !Drop.isAccepted() || Drop.dropAction() == Qt::CopyAction;
    EXPECT_TRUE(Copies) << "a dropped file must be copied, never moved";
    QCoreApplication::processEvents(); // the conversion runs once the drop is answered
    return {Enter.isAccepted(), Drop.isAccepted()};
}

TEST_F(WindowTest, DroppingAnS98FileConvertsItWherever) {
    const QString Path = Save("dropped.s98", SetupOnlyLog());
    for (const TDropTarget& Target : DropTargets) {
        SCOPED_TRACE(Target.Name);
        Form.Memo1->setPlainText("before");
        Form.Edit2->setText("192");
        QMimeData Data; // as file managers send it: the URL and the path as text
        Data.setUrls({QUrl::fromLocalFile(Path)});
        Data.setText(Path);
        const auto [Entered, Dropped] = DragAndDrop(Target.Get(Form), Data);
        EXPECT_TRUE(Entered);
        EXPECT_TRUE(Dropped);
        EXPECT_EQ(Memo(), "[Done]");
        EXPECT_EQ(Form.Edit2->text(), "192");
    }
    EXPECT_EQ(DialogCalls, 0);
    EXPECT_EQ(MidiFiles().size(), 1u);
}

TEST_F(WindowTest, DropsOfAnythingButOneLocalS98FileAreRefused) {
    const QString S98 = Save("a.s98", SetupOnlyLog());
    const QString Other = Save("b.s98", SetupOnlyLog());
    const QString Text = SaveBytes("notes.txt", {'x'});
    const struct {
        const char* Name;
        QList<QUrl> Urls;
    } Cases[] = {
        {"text file", {QUrl::fromLocalFile(Text)}},
        {"two files", {QUrl::fromLocalFile(S98), QUrl::fromLocalFile(Other)}},
        {"remote file", {QUrl(QStringLiteral("https://example.invalid/a.s98"))}},
        {"no files", {}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Form.Memo1->setPlainText("before");
        QMimeData Data;
        Data.setUrls(Case.Urls);
        const auto [Entered, Dropped] = DragAndDrop(&Form, Data);
        EXPECT_FALSE(Entered);
        EXPECT_FALSE(Dropped);
        EXPECT_EQ(Memo(), "before");
    }
    EXPECT_TRUE(MidiFiles().empty());
}

// ---- picture for review ----

// Renders the window with a Japanese result text, so the picture shows the font at work.
// VARNHOLD_WINDOW_PNG names the file to write (the window-png target writes
// docs/window.png); otherwise the picture goes into the test's temporary directory.
TEST_F(WindowTest, RendersWindowToPng) {
    Select(SaveBytes("short.s98", {'S', '9', '8', '3', 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(Memo(), BadSizeMessage);
    const QImage Image = Form.grab().toImage();
    EXPECT_EQ(Image.size(), QSize(373, 209));
    // The memo's background differs from the button-face around it: something was drawn.
    EXPECT_NE(Image.pixelColor(5, 5), Image.pixelColor(100, 170));
    const QString Target = qEnvironmentVariableIsSet("VARNHOLD_WINDOW_PNG")
                               ? qEnvironmentVariable("VARNHOLD_WINDOW_PNG")
                               : QString::fromStdString(Dir.File("window.png"));
    EXPECT_TRUE(Image.save(Target, "PNG")) << Target.toStdString();
}

} // namespace
} // namespace varnhold::ui
