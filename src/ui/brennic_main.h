// The main window: five options, the "Bar / DeltaTime" resolution, the "Select" button
// that runs one conversion job, and the memo that shows the job's result text.
//
// Layout (client area 373 x 209; left, top, width, height relative to the parent):
//   Button1     "Select"           window     271, 159,  78, 29
//   GroupBox1   "Options"          window       9,   9, 160, 123
//     CheckBox1..5 PitchBend, PitchBendVib, Panpot, Velocity, ProgramChange
//                                  GroupBox1    9, 19/37/56/75/93, 132, 20
//   GroupBox2   "Bar / DeltaTime"  window     177,   9, 170, 123
//     Button2   "Reset"            GroupBox2    9,  19,  58, 20
//     ScrollBar1 32..1024 = 192    GroupBox2    9,  47, 142, 20
//     Edit2     "192"              GroupBox2   93,  19,  58, 22
//   Memo1                          window       9, 140, 254, 48
// The creation order above is also the tab order.
#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QCheckBox;
class QDropEvent;
class QFileDialog;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace varnhold {
class TVarnhold;
}

namespace varnhold::ui {

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* Parent = nullptr);
    ~TForm1() override;

    // The controls, owned by Qt's parent chain; each has its own name as objectName.
    QPushButton* Button1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QPushButton* Button2 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;

    // Where the file to convert comes from: its full path, or nothing when the user
    // cancels. The default runs OpenDialog1 modally; tests put a plain function here.
    std::function<std::optional<QString>()> ChooseFile;
    // Where an error that escapes a conversion is reported. The default is a message box.
    std::function<void(const QString& Message)> ReportError;
    // The longest a running conversion keeps the window from handling its events.
    std::chrono::milliseconds PumpInterval{15};

    // The event handlers; each receives the control that raised the event.
    void Button1Click(QObject* Sender);
    void ScrollBar1Change(QObject* Sender);
    void Button2Click(QObject* Sender);
    void CheckBox1Click(QObject* Sender);

    // Everything "Select" does once a file is chosen; a dropped file takes the same path.
    void ConvertFile(const QString& FileName);
    // The options and the resolution as a new job receives them.
    void CopyOptions(TVarnhold& Job) const;

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateControls();
    void RunJob(const QString& FileName);
    bool HandleDrag(QDropEvent* Event);
};

} // namespace varnhold::ui
