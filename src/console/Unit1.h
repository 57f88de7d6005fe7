#pragma once
// The main window: the operator screen. It holds the state of every subsystem and the
// controls; the subsystems' logic works on that state through narrow interfaces.

#include <QMainWindow>
#include <array>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/auto_test.h"
#include "console/keypad.h"
#include "console/nastr_file.h"
#include "console/qt_executor.h"
#include "job/column_maps.h"
#include "job/job_state.h"
#include "job/journal.h"
#include "job/list_reads.h"
#include "job/sequence.h"
#include "labels/label_queue.h"
#include "labels/printer.h"
#include "link/link_state.h"
#include "plan/plan.h"
#include "plan/plan_file.h"
#include "plan/plan_runner.h"
#include "plan/remnant_store.h"

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QWidget;
class QTimer;

namespace tandrel::serial {
class TBComPort;
}
namespace tandrel::link {
class TDevicePort;
class TPortDevices;
class TPortPathWatch;
class TRecovery;
struct TDeviceChange;
}  // namespace tandrel::link

namespace tandrel::feed {
class TFeed;
}
namespace tandrel::printer {
struct TQueueList;
}
namespace tandrel::plan {
struct TPlanFile;
}

namespace tandrel::console {

class TRowsModel;
class TIncomingPoller;
class TListsScreen;
class TRaskroyWindow;
class TRemnantsScreen;
class TScanGate;
struct TIncomingSnapshot;
struct TLabelToPreview;
struct TOperatorFields;
class TForm1JobView;
class TForm1LinkView;
class TPostBox;

// The settings group of the main window's state: the switches of the settings file.
struct TSettingsState {
    bool ShowKeypad = false;              // h: the keypad panel shown
    bool ShowCorrection = false;          // i: the correction panel shown
    bool PrintLabels = false;             // j: a label for every row
    bool ConsecutiveRows = false;         // k: the next row in order even when it is done
    bool SendSizes = false;               // l: a row's target goes to the stop as a move
    bool KeepJournal = true;              // m: the production journal written
    std::optional<bool> AskPrinterState;  // n: unset asks a network printer, not a serial one
    std::string Broker;                   // o: the plant feed's broker; empty: no feed
    std::string StationName;              // q: empty: the computer's name
    std::string MqttUser;                 // s: the feed's log-in; empty: none
    std::filesystem::path MqttCaFile;     // t: the plant's CA; set: TLS
    std::filesystem::path MqttCertFile;   // u: the station's certificate and key
};

// The plant feed as the settings window sets it (Windows-1251 texts).
struct TFeedSetup {
    std::string Broker, Station, User;
    std::filesystem::path CaFile, CertFile;
    std::optional<std::string> Password;  // a new one to store; nothing keeps the stored one
};

// Process-wide strings of the main window's unit, kept in the settings file (Windows-1251).
extern std::string DevicePortName;  // p: the device port (a device path on Linux)
extern std::string DataDir;         // d: where the open dialog starts
extern std::string LabelPortName;   // g: the label printer's port

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    // Creates the controls and runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, under their form names.
    QLabel* Label3 = nullptr;  // info line
    QWidget* Panel1 = nullptr;
    QLineEdit* Edit1 = nullptr;      // position display
    QPushButton* BitBtn2 = nullptr;  // Back
    QPushButton* BitBtn1 = nullptr;  // Start / Next
    QPushButton* BitBtn3 = nullptr;  // "Хлыст с дефектом", while a plan is in work
    QTableView* StringGrid1 = nullptr;
    QWidget* Panel2 = nullptr;  // correction
    QLabel* Label2 = nullptr;
    QPushButton* Button2 = nullptr;  // "+"
    QPushButton* Button1 = nullptr;  // "-"
    QWidget* Panel3 = nullptr;       // keypad
    // BitBtn3 .. BitBtn14, in rows of four: 1 2 3 0 / 4 5 6 * / 7 8 9 #.
    std::array<QPushButton*, 12> Keys{};
    QLabel* Label1 = nullptr;            // mirror of the device keypad entry
    QPlainTextEdit* Memo1 = nullptr;     // label template lines
    QAction* N1 = nullptr;               // "Открыть файл"
    QAction* N5 = nullptr;               // "Списки"
    QAction* N6 = nullptr;               // "Столбцы…"
    QAction* N7 = nullptr;               // "Раскрой"
    QAction* N8 = nullptr;               // "Остатки"
    QPushButton* ListsButton = nullptr;  // "Списки", in the target field's row
    QAction* N4 = nullptr;               // "Настройки"
    QAction* N3 = nullptr;               // "Информация"
    QAction* J1 = nullptr;               // "О программе"
    // Where the program's own notices go (no link, a list not loaded, a label not printed),
    // so that they never overwrite the info line.
    QLabel* StatusLine = nullptr;

    // OpenDialog1's filters, "description|patterns|description|patterns" in Windows-1251: every
    // kind of list first, the text lists alone second.
    static std::string OpenDialogFilter();

    QPushButton* Key(int n) const { return Keys.at(static_cast<std::size_t>(n - 3)); }

    // State, grouped by subsystem. The row table, the counters and the progress file:
    job::TJobState Job;
    // The device port, the link state, the device values, the handshake:
    link::TLinkData Link;
    // The size typed on the keypad or keyboard:
    TManualEntryState Entry;
    // The automatic test mode's counters:
    TAutoTest AutoTest;
    // The switches of the settings file:
    TSettingsState Settings;

    // The window's two spare ports: labels go through the printing thread's own port, which is
    // opened and closed on that thread.
    std::unique_ptr<serial::TBComPort> BComPort1;
    std::unique_ptr<serial::TBComPort> BComPort2;
    // The label template's lines, byte for byte as read from etik.eti (Memo1 only shows them):
    // one line holding a blank until the file is loaded.
    std::vector<std::string> LabelTemplate{" "};

    // The settings in force, gathered from the controls, the switches and the port names.
    TSettings CurrentSettings() const;
    // The three font sizes (and the grid's row height) of settings.
    void ApplyFonts(const TSettings& settings);
    // Everything of settings; shows or hides the panels.
    void ApplySettings(const TSettings& settings);
    // Shows or hides the keypad and correction panels by the switches.
    void ShowPanels();
    // nastr.dat in the program's directory: applied at the first show, written at close.
    void ReadSettings();
    void WriteSettings();

    // Lifecycle.
    void FormCreate();
    // Connects the other windows' controls, once all four exist.
    void BindWindows();
    void FormShow();
    void FormClose();
    void FormDestroy();

    // The application-wide exception handler. Main thread.
    void AppException(std::exception_ptr error);

    // The job: list loads, Start/Next, Back, the grid's double-click, the position display's
    // change handler, labels.
    // List loads (Unit1_loads.cpp): every read and parse of a list runs off the main thread, and
    // a load acts only when it has ended within ListReadLimit and nothing else was asked for
    // meanwhile; a load not ended by then is refused with its reason, and its result, should it
    // come, changes nothing. One load runs at a time: a newer one, a step or another list
    // command drops it.
    // Starts loading the list named listName (as a command line or a dialog names it).
    void StartLoad(const std::string& listName);
    // StartLoad, then the windows run until that load has ended: in work, refused or dropped.
    void LoadList(const std::string& listName);
    // The recovery's reload of the list in work, from the files it was loaded from, keeping the
    // row in work. While a box that a load opened waits for its answer, the reload waits for it
    // too; a load that runs reads the list afresh anyway, so the reload gives way to it.
    void ReloadListInWork();
    // Forgets the load that runs, if any: whatever it reads changes nothing.
    void DropLoad();
    // The operator did something else (a step, another screen): a load asked for before is late
    // and dropped; the recovery's reload goes on.
    void OperatorActed();
    bool Loading() const { return load_ != nullptr; }
    // Works the list in work by plan (Unit1_plan.cpp): the grid becomes its bars, a heading
    // each, over their pieces in cut order, and the steps take the pieces in that order. The
    // plan is saved beside the list's progress file; its pieces' Row fields are list rows.
    void WorkByPlan(const plan::TProblem& problem, const plan::TPlan& plan);
    // After a load, the list's saved plan: offered with a question, or taken without one for the
    // recovery's reload (quiet); a plan that no longer fits is said and the list stays a list.
    void ResumePlan(bool quiet);
    // "Хлыст с дефектом": the bar of the piece in work is set aside and its pieces not cut yet
    // are planned again, off this thread, from what is left; the new bars follow it.
    void FlawedBarClick();
    std::chrono::milliseconds ListReadLimit{3000};
    void BitBtn1Click();
    void BitBtn2Click();
    void StringGrid1DblClick();
    void Edit1Change();
    job::TStepLimits StepLimits() const;
    void LoadLabelTemplate();  // etik.eti into LabelTemplate, written first when missing
    const std::vector<std::string>& TemplateLines() const { return LabelTemplate; }
    // Labels (Unit1_labels.cpp) go to the printing thread, which FormShow starts; tests start
    // it again with shorter times. Their outcomes come back to LabelsDone.
    void StartPrinting(const labels::TLabelTimes& times = {});
    // At close: the printing thread ends within a moment, never waiting for a printer; labels
    // still waiting are journalled as not printed ("программа закрыта").
    void StopPrinting();
    void LabelsDone();
    // Labels handed over whose outcome has not come yet.
    bool LabelsPending() const { return !pendingLabels_.empty(); }
    // The job's hand-over of the step's label: composed now, with the settings in force.
    job::TJobView::TLabelHandOver QueueStepLabel(const job::TJournalEntry& step);
    // The settings window's "Тест": the test label with the settings in force, or with those
    // the window shows; its outcome goes to the status line and to the settings window.
    void PrintTestLabel();
    void PrintTestLabel(const labels::TPrintSettings& settings);
    labels::TPrintSettings PrintSettings() const;
    // The settings window's list of print queues, asked off the windows' thread.
    void RequestPrintQueues();
    static std::string TestLabelText();
    // The label the next step would print, for the preview: the next row's, or the test label
    // while no row is left to work.
    TLabelToPreview NextLabelPreview() const;
    TRowsModel* RowsModel() const { return rowsModel_.get(); }

    // The production journal in the program's directory, opened at the first show; its pieces
    // are shown in the information window.
    void OpenJournal();
    void WriteJournal(const job::TJournalEntry& entry);  // nothing while setting m is off
    void ShowPieces();
    job::TJournal* Journal() const { return journal_.get(); }
    // The journal's clock; tests set it before the first show.
    job::TClock JournalClock;

    // The plant feed (Unit1_feed.cpp): started by the settings at the first show, stopped, saying
    // "offline", when the window goes.
    void StartFeed();
    void StopFeed();
    // The settings window's feed: the reason (Windows-1251) when refused, a broker that names
    // no host:port or a station name that cannot be one, and then nothing changes. A change
    // restarts the feed; a new station name first clears the old one's retained messages.
    std::string ApplyFeed(const TFeedSetup& setup);
    TFeedSetup FeedSetup() const;  // as in force, without the password
    // "MQTT: подключено", "MQTT: нет связи с брокером"...; empty while the feed is off.
    std::string FeedText() const;
    // What "Проверить" of the broker's dialog says of a setup (Windows-1251); blocks for up
    // to limit, so it runs on a thread of its own. Any thread.
    static std::string CheckFeed(const TFeedSetup& setup, std::chrono::milliseconds limit);
    // The feed's connection beside the link indicator, and the station's state handed to it.
    void ShowFeedState();
    feed::TFeed* Feed() const { return feed_.get(); }

    // The keypad, the keyboard and the correction panel.
    void AppendDigit(char digit);
    void BitBtn10Click();  // "*"
    void BitBtn14Click();  // "#"
    void Panel3DblClick();
    void ButtonsSize();
    void FormResize();
    void FormKeyPress(char key);
    void Button2Click();  // correction up
    void Button1Click();  // correction down
    bool KeypadFull() const { return keypadFull_; }
    // The full keypad is shown over the grid: full, and the panel switched on.
    bool KeypadCoversGrid() const;
    bool QuietReload() const { return quietReload_; }

    // The device link.
    void OpenDevicePort();
    void StartDrayver();
    // Another device port (the settings window): the link on the old one ends, a recovery in
    // progress too, and the new one opens with a handshake.
    void ChangeDevicePort(const std::string& port);
    void LabeledEdit4Change();  // the information window's position field changed
    void CheckBox1Click();      // "авто"
    link::TDevicePort* DevicePortBinding() const { return devicePort_.get(); }
    // A move string on the device port; false (and a notice) while no port is open.
    bool SendMove(const std::string& move);

    // The way back after a port fault.
    void DisablePortDevice();
    void SetPortDeviceEnabled(bool on);
    void WMDeviceChange(const link::TDeviceChange& change);
    // A native message as the window procedure passes it on (Windows: a MSG); acts on the
    // device-change notices. What their handling raises goes to the application's handler.
    void NativeMessage(const void* message) noexcept;
    void trhtrh1Click();  // registers for port notices again
    void ReleaseDevicePort();
    link::TRecovery& Recovery() const { return *recovery_; }
    // Shorter waits for tests: the recovery's 3 s and 2 s, the port watch's 500 ms.
    void SetRecoveryIntervals(int removalWaitMs, int reopenMs, int watchMs);
    // What switches the port device, for tests (the system's at creation).
    void SetPortDevices(std::unique_ptr<link::TPortDevices> devices);

    // The incoming folder (Unit1_lists.cpp): r of the settings, empty for d's.
    std::filesystem::path IncomingDir;
    // Sets it and looks at the folder it leads to (DataDir's while it is empty).
    void SetIncomingDir(const std::filesystem::path& folder);
    void ListsClick();  // opens the "Списки" screen
    // The column maps of maps.dat beside nastr.dat, read again before every load.
    job::TColumnMaps ColumnMaps;
    void ReadColumnMaps();
    // The column-map dialog for a table's columns; on Apply the map is kept (and written).
    bool AskColumnMap(const std::string& listName, const job::TColumnChoice& choice);
    void ColumnsClick();  // "Столбцы…": the dialog again for the list in work
    // "Раскрой": the stock and cut settings and the plan of the list in work.
    void RaskroyClick();
    TRaskroyWindow* Raskroy() const { return raskroy_; }
    // A barcode scan: opens the incoming folder's list the code names, or says why not; a folder
    // that does not answer within ListReadLimit drops it.
    void ScanCode(const std::string& code);
    TIncomingPoller& Incoming() const { return *incoming_; }
    TListsScreen* ListsScreen() const { return listsScreen_; }
    // Milliseconds of a steady clock for the scan gate; tests drive it.
    void SetScanClock(std::function<std::int64_t()> clock);

    // The store of remnants (Unit1_remnants.cpp): ostatki.dat and the remnant label's template
    // ostatok.eti, read at the first show.
    void LoadRemnants();
    plan::TRemnantStore& Remnants() const { return *remnants_; }
    std::vector<std::string> RemnantTemplate;  // ostatok.eti's lines
    // A bar's leftover kept (length in tenths of a millimetre): it enters the store under a new
    // id, its label goes to the printing thread behind the labels already there, and its journal
    // line is written ("остаток <id>: " and the label's hand-over; the outcome follows on a line
    // of its own). The remnant, or nothing when the store could not be written: that is said and
    // journalled, and no label prints.
    std::optional<plan::TStoredRemnant> KeepRemnant(plan::TLength length,
                                                    const std::string& material);
    // A leftover not kept: its journal line, "отход" or "хлыст с дефектом".
    void JournalLeftover(plan::TLength length, job::TLeftover kind);
    // Removes a remnant from the store: "" or why not (Windows-1251). The screen follows.
    std::string RemoveRemnant(const std::string& id);
    // The remnant's label again (the "Остатки" screen's "Этикетка").
    void ReprintRemnantLabel(const std::string& id);
    void RemnantsClick();                       // opens the "Остатки" screen
    void ShowRemnant(const std::string& code);  // opens it on that remnant (a scanned label)
    TRemnantsScreen* RemnantsScreen() const { return remnantsScreen_; }

    // Menu commands.
    void N2Click();
    void N4Click();
    void N3Click();
    void J1Click();

    // The status line: a notice, red when it reports a fault; empty text clears it. The faults of
    // one step (label, progress file, journal) stand together, the first first.
    void ShowStatus(const std::string& cp1251, bool fault);
    std::string StatusText() const;
    bool StatusIsFault() const { return statusFault_; }

    // The operator's own fields (Unit1_operator.cpp): the target and where the stop stands,
    // pending entries, the link indicator.
    TOperatorFields& Fields() const { return *fields_; }
    void ShowOperatorFields();
    // Linked, but nothing has come from the device for longer than its pings allow.
    bool DeviceSilent() const;
    // The info line: blue, red for the out-of-range message until the next text.
    void SetInfoLine(const std::string& cp1251, bool rangeError = false);
    // Says on the status line why the limits refuse an entry of that value; true when refused.
    bool RefuseEntry(double value, bool testMin);
    void ClearManualEntry();
    void TypedMoveSent(double value);
    void ListOpened(bool loaded);
    // A label was printed (problem empty) or not: a later good label clears an old failure.
    void LabelOutcome(const std::string& problem);
    // After a row's step: shows its target and, with SendSizes, sends it to the stop.
    void StepFinished(double target, bool inRange);
    // F2 and "Печать этикетки": the label of the grid's selected row printed again, or of the
    // row whose late failure the status line shows; its journal line comes with its outcome; no
    // row, counter or progress record changes. Says why when nothing prints.
    void ReprintLabel();
    // What a label's failure on the status line ends with.
    static std::string RetryHint();
    // "Этикетка строки N не напечатана: " and the reason.
    static std::string RowLabelFault(std::int32_t row, const std::string& reason);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    friend class TForm1JobView;  // counts the boxes a load opens
    void CreateControls();
    void ShowStatusNow(const std::string& cp1251, bool fault);
    void CreateMenu();
    void DockPositionRow();
    void PlaceKeypad();  // the keypad panel by its state and switch
    void CreateJob();
    void ConnectKeypad();
    void CreateLink();
    void CreateRecovery();
    void BuildRecovery(std::chrono::milliseconds removalWait,
                       std::chrono::milliseconds reopenInterval);
    void ScheduleRecoveryTick();
    void ShowLinkState();
    void CreateOperatorFields();
    void CreateIncoming();
    void Scanned(std::uint64_t load, const TIncomingSnapshot& shot);
    struct TLoad;
    enum class TLoadKind { Open, Reload, Columns, Scan };
    std::shared_ptr<TLoad> BeginLoad(TLoadKind kind);
    void ReadLoad();
    void LoadRead(std::uint64_t load, const std::shared_ptr<const job::TFileReads::TRead>& read);
    void ParseLoad();
    void LoadParsed(std::uint64_t load, const std::shared_ptr<job::TStagedList>& staged,
                    const std::shared_ptr<std::optional<job::TColumnChoice>>& choice);
    void LoadLate();
    void ApplyLoad(job::TStagedList& staged);
    void ApplyReload(job::TStagedList& staged);
    void ApplyColumns(const std::optional<job::TColumnChoice>& choice);
    void ApplyPlan(const plan::TPlanFile& saved, const std::string& notice);
    // A piece of the plan in work was stepped: a remnant's bar begun leaves the store, a bar
    // completed has its leftover kept or journalled as waste, once. Failures go to stepFaults_.
    void PlanPieceWorked(std::int32_t row);
    // After a restart: what a kill cut short between a piece's record and its bar's.
    void CatchUpPlan();
    // The list in work starts again: its saved plan's catch-up, before its progress is gone.
    void CatchUpBeforeRestart();
    void TakeRemnantOfBar(const plan::TPlanBar& bar);
    void SettleBar(std::size_t bar);
    // The grid and the order again from workPlan_, the row in work kept.
    void ShowPlanChange();
    // The replan's result, on this thread.
    void ReplanDone();
    void EndLoad();
    // A station name from the file that cannot be one: its wrong characters become "_", said
    // once on the status line.
    void SettleStationName();

    TQtExecutor executor_;
    std::unique_ptr<TRowsModel> rowsModel_;
    std::unique_ptr<TForm1JobView> jobView_;
    std::unique_ptr<TForm1LinkView> linkView_;
    std::unique_ptr<link::TDevicePort> devicePort_;
    std::unique_ptr<link::TPortDevices> portDevices_;
    std::unique_ptr<link::TRecovery> recovery_;
    std::unique_ptr<link::TPortPathWatch> portWatch_;
    std::unique_ptr<TOperatorFields> fields_;
    QTimer* recoveryTimer_ = nullptr;
    QTimer* watchTimer_ = nullptr;
    std::unique_ptr<job::TJournal> journal_;
    QTimer* piecesTimer_ = nullptr;  // the last hour slides on
    std::unique_ptr<feed::TFeed> feed_;
    bool quietReload_ = false;             // the recovery's reload asks nothing
    int loadBoxes_ = 0;                    // boxes of a load waiting for their answer
    bool reloadHeld_ = false;              // the recovery's reload waits for them
    bool stepping_ = false;                // a step of the job runs
    std::vector<std::string> stepFaults_;  // what went wrong in it so far
    std::string printerFault_;             // the last label failure said, until a label prints
    std::unique_ptr<labels::TLabelQueue> labelQueue_;
    std::shared_ptr<TPostBox> postBox_;  // threads' results, dropped once the window goes
    struct TPendingLabel {
        enum class TKind { Step, Reprint, Test, Remnant } Kind = TKind::Step;
        job::TJournalEntry Entry;  // the line its outcome is journalled with
    };
    std::map<std::uint64_t, TPendingLabel> pendingLabels_;
    // A label's late word standing on the status line (a failure, a pause), and the row F2
    // prints while it stands.
    std::string labelNotice_;
    bool labelNoticeFault_ = false;
    std::int32_t labelNoticeRow_ = 0;
    bool LabelNoticeStanding() const;
    void ShowLabelNotice(const std::string& notice, bool fault, std::int32_t row);
    void LabelDone(const TPendingLabel& label, const labels::TPrintOutcome& outcome);
    void RemnantLabelDone(const TPendingLabel& label, const labels::TPrintOutcome& outcome);
    // Hands the remnant's label over and journals it: the entry's label as handed over.
    void QueueRemnantLabel(const plan::TStoredRemnant& remnant, job::TJournalEntry entry);
    // The label's id, or 0 when the queue was full.
    std::uint64_t QueueLabel(TPendingLabel label, const labels::TPrintSettings& settings,
                             std::vector<std::string> writes);
    struct TStepped {
        double Target = 0;
        bool InRange = false;
    };
    std::map<std::int32_t, TStepped> steppedRows_;  // rows stepped since the list was opened
    bool keypadFull_ = false;
    TIncomingPoller* incoming_ = nullptr;
    TListsScreen* listsScreen_ = nullptr;
    TRaskroyWindow* raskroy_ = nullptr;
    TScanGate* scanGate_ = nullptr;
    std::unique_ptr<plan::TRemnantStore> remnants_;
    std::optional<plan::TPlanFile> workPlan_;  // the plan Job.Order follows
    struct TReplan {
        plan::TPlanRunner Runner;
        plan::TProblem Problem;
        std::size_t Bar = 0;  // the flawed bar's index, the new bars go after it
        std::filesystem::path List;
        std::uint32_t Crc = 0;
    };
    std::unique_ptr<TReplan> replan_;  // the last flawed bar's planning
    TRemnantsScreen* remnantsScreen_ = nullptr;
    std::unique_ptr<job::TFileReads> reads_;  // every read of a list
    std::shared_ptr<TLoad> load_;             // the load that may still act
    std::uint64_t loads_ = 0;                 // loads begun
    QTimer* loadTimer_ = nullptr;             // the running load's deadline

    std::array<int, 3> fontPoints_{40, 40, 8};  // info line, position display, grid
    bool shown_ = false;
    bool statusFault_ = false;
};

// The process-wide single instance, created by the program's entry.
extern TForm1* Form1;

}  // namespace tandrel::console
