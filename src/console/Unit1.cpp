#include "console/Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/Unit1_operator.h"
#include "console/Unit1_views.h"
#include "console/Unit2.h"
#include "console/about.h"
#include "console/application.h"
#include "console/elided_label.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "console/steps.h"
#include "console/windows_common.h"
#include "feed/feed.h"
#include "link/device_port.h"
#include "link/drayver.h"
#include "link/port_device.h"
#include "link/recovery.h"
#include "serial/BCPort.h"

namespace tandrel::console {

TForm1* Form1 = nullptr;
std::string DevicePortName;
std::string DataDir;
std::string LabelPortName;

std::string TForm1::OpenDialogFilter() {
    return "Списки|*.txt *.csv *.xlsx *.ods|Текстовый файл с разделителями|*.txt"_cp1251;
}

namespace {

constexpr int kInfoLineHeight = 64;
constexpr int kPositionWidth = 536;
constexpr int kPositionHeight = 160;
constexpr int kPanel1Height = 162;
constexpr int kBackWidth = 97;
constexpr int kFlawWidth = 170;
constexpr int kFlawPixels = 26;
constexpr int kButtonHeight = 150;
constexpr int kCorrectionWidth = 144;
constexpr int kKeypadStripWidth = 97;
constexpr int kLargeTypePixels = 53;
constexpr int kStatusPixels = 30;

// The glyph of Start/Next: a green arrow pointing on.
QIcon StartGlyph() {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0, 150, 60));
    painter.setPen(Qt::NoPen);
    const QPointF arrow[] = {{4, 16}, {26, 16}, {26, 4}, {46, 24}, {26, 44}, {26, 32}, {4, 32}};
    painter.drawPolygon(arrow, 7);
    return QIcon(pixmap);
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ToQ("Автоматический ввод размеров на рольганг серии ВЕЛТА"_cp1251));
    setWindowIcon(ProgramIcon());
    setFont(WindowFont());
    resize(901, 591);
    // Restored from maximised, the window stands in the middle of the screen.
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
    CreateControls();
    CreateMenu();
    CreateJob();
    CreateLink();
    ConnectKeypad();
    CreateOperatorFields();
    CreateIncoming();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
    StopPrinting();
    if (postBox_) postBox_->Close();
    StopFeed();
    // The handshake and the port's event thread reach the windows: they end first.
    if (Link.HandshakeThread) Link.HandshakeThread->Stop();
    devicePort_.reset();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::CreateControls() {
    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Label3 = new TElidedLabel(client);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFixedHeight(kInfoLineHeight);
    Label3->setFont(PixelFont("Tahoma", kLargeTypePixels));
    Label3->setStyleSheet(QStringLiteral("color: blue"));
    column->addWidget(Label3);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kPanel1Height);
    new QHBoxLayout(Panel1);
    Panel1->layout()->setContentsMargins(0, 1, 0, 1);
    Panel1->layout()->setSpacing(0);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    Edit1->setFrame(false);
    Edit1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Edit1->setFocusPolicy(Qt::ClickFocus);
    Edit1->setFixedSize(kPositionWidth, kPositionHeight);
    Edit1->setFont(PixelFont("Tahoma", kLargeTypePixels));
    Edit1->setStyleSheet(QStringLiteral("background: palette(button)"));
    BitBtn1 = new QPushButton(ToQ("Старт"_cp1251), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFont(PixelFont("Tahoma", kLargeTypePixels));
    BitBtn1->setIcon(StartGlyph());
    BitBtn1->setIconSize(QSize(48, 48));
    BitBtn1->setLayoutDirection(Qt::RightToLeft);  // glyph to the right of the caption
    BitBtn1->setFixedHeight(kButtonHeight);
    BitBtn2 = new QPushButton(ToQ("Назад"_cp1251), Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setFixedSize(kBackWidth, kButtonHeight);
    BitBtn3 = new QPushButton(ToQ("Хлыст с\nдефектом"_cp1251), Panel1);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setFixedSize(kFlawWidth, kButtonHeight);
    BitBtn3->setFont(PixelFont("Tahoma", kFlawPixels));
    BitBtn3->setStyleSheet(QStringLiteral("color: rgb(160, 0, 0)"));
    for (QPushButton* button : {BitBtn1, BitBtn2, BitBtn3}) {
        button->setEnabled(false);
        button->setVisible(false);
        button->setFocusPolicy(Qt::ClickFocus);
    }
    column->addWidget(Panel1);

    auto* body = new QHBoxLayout();
    body->setSpacing(0);
    StringGrid1 = new QTableView(client);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setVisible(false);
    StringGrid1->setFont(PixelFont("Tahoma", 11));
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StringGrid1->setShowGrid(true);
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->verticalHeader()->setDefaultSectionSize(24);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    body->addWidget(StringGrid1, 1);

    Panel2 = new QWidget(client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedWidth(kCorrectionWidth);
    Panel2->setVisible(false);
    Label2 = new QLabel(QStringLiteral("0"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 8, 113, 77);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setFont(PixelFont("Tahoma", 75));
    Button2 = new QPushButton(QStringLiteral("+"), Panel2);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(16, 104, 115, 105);
    Button1 = new QPushButton(QStringLiteral("-"), Panel2);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 216, 115, 105);
    for (QPushButton* button : {Button1, Button2}) button->setFont(PixelFont("Tahoma", 53));
    body->addWidget(Panel2);

    Panel3 = new QWidget(client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(kKeypadStripWidth);
    static const char* const kCaptions[12] = {"1", "2", "3", "0", "4", "5",
                                              "6", "*", "7", "8", "9", "#"};
    for (int i = 0; i < 12; ++i) {
        auto* key = new QPushButton(QString::fromLatin1(kCaptions[i]), Panel3);
        key->setObjectName(QStringLiteral("BitBtn%1").arg(i + 3));
        key->setFont(PixelFont("MS Sans Serif", 35));
        key->setFocusPolicy(Qt::NoFocus);
        key->setVisible(false);
        Keys[static_cast<std::size_t>(i)] = key;
    }
    body->addWidget(Panel3);
    column->addLayout(body, 1);

    StatusLine = new QLabel(client);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setFont(PixelFont("Tahoma", kStatusPixels));
    StatusLine->setWordWrap(true);
    // A long notice wraps (a word wider than the window is cut): it never widens the window.
    QSizePolicy statusPolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusPolicy.setHeightForWidth(true);
    StatusLine->setSizePolicy(statusPolicy);
    StatusLine->setMargin(4);
    StatusLine->setVisible(false);
    column->addWidget(StatusLine);

    Label1 = new QLabel(QStringLiteral("Label1"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setVisible(false);
    Memo1 = new QPlainTextEdit(client);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setPlainText(QStringLiteral(" "));
    Memo1->setVisible(false);

    setCentralWidget(client);
    // The grid, the position display, Start and Back pass their keys to FormKeyPress.
    for (QObject* source :
         std::initializer_list<QObject*>{this, StringGrid1, Edit1, BitBtn1, BitBtn2, Panel3})
        source->installEventFilter(this);
}

void TForm1::CreateMenu() {
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setFont(PixelFont("Tahoma", 16));
    auto add = [&](const char* name, const std::string& caption, void (TForm1::*handler)()) {
        QAction* action = MainMenu1->addAction(ToQ(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    N1 = add("N1", "Открыть файл"_cp1251, &TForm1::N2Click);
    N5 = add("N5", "Списки"_cp1251, &TForm1::ListsClick);
    N8 = add("N8", "Остатки"_cp1251, &TForm1::RemnantsClick);
    N6 = add("N6", "Столбцы…"_cp1251, &TForm1::ColumnsClick);
    N7 = add("N7", "Раскрой"_cp1251, &TForm1::RaskroyClick);
    N4 = add("N4", "Настройки"_cp1251, &TForm1::N4Click);
    N3 = add("N3", "Информация"_cp1251, &TForm1::N3Click);
    J1 = add("J1", "О программе"_cp1251, &TForm1::J1Click);
}

void TForm1::DockPositionRow() {
    auto* row = static_cast<QHBoxLayout*>(Panel1->layout());
    row->removeWidget(Edit1);
    row->removeWidget(BitBtn1);
    row->removeWidget(BitBtn2);
    row->removeWidget(BitBtn3);
    row->addWidget(Edit1);
    row->addWidget(BitBtn1, 1);
    row->addWidget(BitBtn2);
    row->addWidget(BitBtn3);
}

TSettings TForm1::CurrentSettings() const {
    TSettings settings;
    settings.Column0Width = StringGrid1->horizontalHeader()->sectionSize(0);
    settings.Column1Width = StringGrid1->horizontalHeader()->sectionSize(1);
    settings.DevicePortName = DevicePortName;
    settings.DataDir = Cp1251ToPath(DataDir);
    settings.InfoFontSize = fontPoints_[0];
    settings.PositionFontSize = fontPoints_[1];
    settings.ListFontSize = fontPoints_[2];
    settings.ListRowHeight = StringGrid1->verticalHeader()->defaultSectionSize();
    settings.LabelPortName = LabelPortName;
    settings.ShowKeypad = Settings.ShowKeypad;
    settings.ShowCorrection = Settings.ShowCorrection;
    settings.PrintLabels = Settings.PrintLabels;
    settings.ConsecutiveRows = Settings.ConsecutiveRows;
    settings.SendSizes = Settings.SendSizes;
    settings.KeepJournal = Settings.KeepJournal;
    settings.AskPrinterState = Settings.AskPrinterState;
    settings.Broker = Settings.Broker;
    settings.StationName = Settings.StationName;
    settings.IncomingDir = IncomingDir;
    settings.MqttUser = Settings.MqttUser;
    settings.MqttCaFile = Settings.MqttCaFile;
    settings.MqttCertFile = Settings.MqttCertFile;
    return settings;
}

void TForm1::ApplyFonts(const TSettings& settings) {
    fontPoints_ = {settings.InfoFontSize, settings.PositionFontSize, settings.ListFontSize};
    Label3->setFont(PixelFont("Tahoma", PointsToPixels(settings.InfoFontSize)));
    Edit1->setFont(PixelFont("Tahoma", PointsToPixels(settings.PositionFontSize)));
    StringGrid1->setFont(PixelFont("Tahoma", PointsToPixels(settings.ListFontSize)));
    StringGrid1->verticalHeader()->setDefaultSectionSize(settings.ListRowHeight);
}

void TForm1::ApplySettings(const TSettings& settings) {
    StringGrid1->horizontalHeader()->resizeSection(0, settings.Column0Width);
    StringGrid1->horizontalHeader()->resizeSection(1, settings.Column1Width);
    ApplyFonts(settings);
    DevicePortName = settings.DevicePortName;
    DataDir = PathToCp1251(settings.DataDir).value_or(std::string());
    LabelPortName = settings.LabelPortName;
    Settings.ShowKeypad = settings.ShowKeypad;
    Settings.ShowCorrection = settings.ShowCorrection;
    Settings.PrintLabels = settings.PrintLabels;
    Settings.ConsecutiveRows = settings.ConsecutiveRows;
    Settings.SendSizes = settings.SendSizes;
    Settings.KeepJournal = settings.KeepJournal;
    Settings.AskPrinterState = settings.AskPrinterState;
    Settings.Broker = settings.Broker;
    Settings.StationName = settings.StationName;
    Settings.MqttUser = settings.MqttUser;
    Settings.MqttCaFile = settings.MqttCaFile;
    Settings.MqttCertFile = settings.MqttCertFile;
    SetIncomingDir(settings.IncomingDir);
    ShowPanels();
}

void TForm1::ReadSettings() {
    TSettings defaults = DefaultSettings(ProgramDirectory());
    // The label printer's switch and port keep what they hold when the file does not say.
    defaults.PrintLabels = Settings.PrintLabels;
    defaults.LabelPortName = LabelPortName;
    // The grid's widths and fonts stay as they are when the file does not set them.
    defaults.Column0Width = StringGrid1->horizontalHeader()->sectionSize(0);
    defaults.Column1Width = StringGrid1->horizontalHeader()->sectionSize(1);
    defaults.ListRowHeight = StringGrid1->verticalHeader()->defaultSectionSize();
    ApplySettings(ReadSettingsFile(SettingsFilePath(ProgramDirectory()), defaults));
    SettleStationName();
}

void TForm1::WriteSettings() {
    WriteSettingsFile(SettingsFilePath(ProgramDirectory()), CurrentSettings());
}

void TForm1::ShowPanels() {
    Panel2->setVisible(Settings.ShowCorrection);
    PlaceKeypad();  // switched off while full, the grid comes back
}

void TForm1::FormCreate() {
    CreateRecovery();  // clears DeviceArrivalPending, registers for port device notices
    if (auto* app = TApplication::Instance())
        app->SetExceptionHandler([this](std::exception_ptr error) { AppException(error); });
}

void TForm1::BindWindows() {
    connect(Form2->LabeledEdit4(), &QLineEdit::textChanged, this, [this] { LabeledEdit4Change(); });
    connect(Form2->CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    Form3->PortList = [] {
        std::vector<std::string> ports;
        serial::ListSerialPorts(ports);
        return ports;
    };
    Form3->RequestQueues = [this] { RequestPrintQueues(); };
    Form3->OnTestLabel = [this](const labels::TPrintSettings& settings) {
        PrintTestLabel(settings);
    };
    Form3->OnDevicePortChanged = [this](const std::string& port) { ChangeDevicePort(port); };
    Form2->NextLabel = [this] { return NextLabelPreview(); };
}

void TForm1::FormShow() {
    // One line a step; a failing step goes to AppException and the next one runs.
    RunEachStep(
        {
            // Once, before anything shows a number: the user's separator for every size shown.
            {"decimal separator", [] { SetDecimalSeparator(SystemDecimalSeparator()); }},
            {"correction",
             [this] {
                 Job.Correction = 0;
                 SetControlText(Label2, "0");
             }},
            {"settings", [this] { ReadSettings(); }},
            {"journal", [this] { OpenJournal(); }},
            {"plant feed", [this] { StartFeed(); }},
            {"label template", [this] { LoadLabelTemplate(); }},
            {"remnants", [this] { LoadRemnants(); }},
            {"printing thread", [this] { StartPrinting(); }},
            {"device port", [this] { OpenDevicePort(); }},
            {"handshake", [this] { StartDrayver(); }},
            {"dock the position row", [this] { DockPositionRow(); }},
            {"test counters",
             [this] {
                 AutoTest.Distance = 0;
                 AutoTest.MoveCount = 0;
             }},
            {"command line list",
             [this] {
                 const QStringList arguments = QCoreApplication::arguments();
                 if (arguments.size() > 1 && !arguments[1].isEmpty())
                     StartLoad(FromQ(arguments[1]));
             }},
        },
        [this](std::exception_ptr error) { AppException(error); });
}

void TForm1::FormClose() {
    StopPrinting();
    WriteSettings();
}

void TForm1::FormDestroy() {}

void TForm1::N4Click() {
    Form3->exec();
}

void TForm1::N3Click() {
    Form2->show();
    Form2->raise();
}

void TForm1::J1Click() {
    AboutBox->exec();
}

void TForm1::ShowStatus(const std::string& cp1251, bool fault) {
    // A later fault of the same step must not hide an earlier one.
    if (stepping_ && fault && !cp1251.empty()) {
        stepFaults_.push_back(cp1251);
        ShowStatusNow(JoinNotices(stepFaults_), true);
        return;
    }
    ShowStatusNow(cp1251, fault);
}

void TForm1::ShowStatusNow(const std::string& cp1251, bool fault) {
    statusFault_ = fault && !cp1251.empty();
    SetControlText(StatusLine, cp1251);
    StatusLine->setStyleSheet(statusFault_ ? QStringLiteral("color: white; background: #c00000")
                                           : QStringLiteral("color: black"));
    StatusLine->setVisible(!cp1251.empty());
}

std::string TForm1::StatusText() const {
    return ControlText(StatusLine);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
    } catch (...) {
        // A failure at close is ignored; the program ends all the same.
    }
    event->accept();
}

}  // namespace tandrel::console
