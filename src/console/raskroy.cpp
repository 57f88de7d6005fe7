#include "console/raskroy.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "base/cp1251.h"
#include "base/error.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {

constexpr int kTextPixels = 22;
constexpr int kRowHeight = 44;
constexpr int kStripHeight = 40;
constexpr int kStripPitch = 52;
constexpr int kMarginLeft = 150;  // the bar's length and "× N" left of its strip
constexpr int kPollMs = 20;
// Planning shows its progress bar and "Отмена" only once it has run this long.
constexpr auto kQuietPlanning = std::chrono::milliseconds(500);

const QColor kPieceColor(173, 206, 240);
const QColor kHeadColor(110, 110, 110);
const QColor kKerfColor(20, 20, 20);
const QColor kRemnantColor(120, 200, 120);
const QColor kWasteColor(230, 120, 110);

QColor ColorOf(TSegmentKind kind) {
    switch (kind) {
        case TSegmentKind::Head:
            return kHeadColor;
        case TSegmentKind::Piece:
            return kPieceColor;
        case TSegmentKind::Kerf:
            return kKerfColor;
        case TSegmentKind::Remnant:
            return kRemnantColor;
        case TSegmentKind::Waste:
            return kWasteColor;
    }
    return kPieceColor;
}

// Waste is hatched as well as red: a narrow leftover has no room for its name.
QBrush WasteHatch() {
    return QBrush(QColor(0, 0, 0, 120), Qt::BDiagPattern);
}

}  // namespace

TPlanPicture::TPlanPicture(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Picture"));
    setFont(PixelFont("Tahoma", 20));
    setAutoFillBackground(true);
}

void TPlanPicture::SetPlan(const plan::TProblem* problem, const plan::TPlan* plan,
                           const std::vector<std::string>* captions) {
    problem_ = problem;
    plan_ = plan;
    captions_ = captions;
    groups_.clear();
    longest_ = 0;
    if (problem_ != nullptr && plan_ != nullptr) {
        groups_ = GroupBars(*problem_, *plan_);
        for (const auto& bar : plan_->Bars) longest_ = std::max(longest_, bar.Length);
    }
    setMinimumHeight(static_cast<int>(groups_.size()) * kStripPitch + 8);
    updateGeometry();
    update();
}

QSize TPlanPicture::sizeHint() const {
    return {600, static_cast<int>(groups_.size()) * kStripPitch + 8};
}

void TPlanPicture::paintEvent(QPaintEvent* event) {
    if (problem_ == nullptr || plan_ == nullptr || groups_.empty()) return;
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int stripWidth = std::max(1, width() - kMarginLeft - 8);
    // Only the strips the scrolled view shows: a plan may hold hundreds of patterns.
    const int first = std::max(0, (event->rect().top() - 4) / kStripPitch);
    const int last =
        std::min(static_cast<int>(groups_.size()) - 1, (event->rect().bottom() - 4) / kStripPitch);
    for (int g = first; g <= last; ++g) {
        const TBarGroup& group = groups_[static_cast<std::size_t>(g)];
        const plan::TBar& bar = plan_->Bars[group.First];
        const int top = 4 + g * kStripPitch;
        painter.setPen(Qt::black);
        const QString left =
            ToQ(plan::FormatTenths(bar.Length)) +
            (group.Count > 1 ? QStringLiteral(" × %1").arg(group.Count) : QString());
        painter.drawText(QRect(4, top, kMarginLeft - 12, kStripHeight),
                         Qt::AlignRight | Qt::AlignVCenter, left);
        for (const TSegment& segment : BarSegments(*problem_, bar, longest_, stripWidth)) {
            const QRect box(kMarginLeft + segment.X0, top, std::max(1, segment.X1 - segment.X0),
                            kStripHeight);
            painter.fillRect(box, ColorOf(segment.Kind));
            if (segment.Kind == TSegmentKind::Waste) painter.fillRect(box, WasteHatch());
            if (segment.Kind == TSegmentKind::Remnant || segment.Kind == TSegmentKind::Waste) {
                // Named where it fits: the colour alone does not tell a kept offcut from waste.
                const QString length = ToQ(plan::FormatTenths(bar.Leftover));
                QString leftover = ToQ(segment.Kind == TSegmentKind::Remnant ? "остаток "_cp1251
                                                                             : "отход "_cp1251) +
                                   length;
                if (metrics.horizontalAdvance(leftover) + 8 > box.width()) leftover = length;
                if (metrics.horizontalAdvance(leftover) + 8 <= box.width()) {
                    painter.setPen(Qt::black);
                    painter.drawText(box, Qt::AlignCenter, leftover);
                }
            }
            if (segment.Kind != TSegmentKind::Piece) continue;
            painter.setPen(QColor(40, 60, 90));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            const auto piece = static_cast<std::size_t>(segment.Piece);
            const QString size = ToQ(plan::FormatTenths(problem_->Pieces[piece].Length));
            // The caption only where every bar of the group has it at this place.
            QString caption;
            if (captions_ != nullptr && piece < captions_->size()) {
                const auto at = static_cast<std::size_t>(
                    std::find(bar.Pieces.begin(), bar.Pieces.end(), segment.Piece) -
                    bar.Pieces.begin());
                bool same = true;
                for (const auto other : group.Bars) {
                    const auto& pieces = plan_->Bars[other].Pieces;
                    same = same && (*captions_)[static_cast<std::size_t>(pieces[at])] ==
                                       (*captions_)[piece];
                }
                if (same) caption = ToQ((*captions_)[piece]);
            }
            const QRect inner = box.adjusted(4, 0, -4, 0);
            QString text = size;
            if (!caption.isEmpty() &&
                metrics.horizontalAdvance(size + QStringLiteral(" ") + caption) <= inner.width())
                text = size + QStringLiteral(" ") + caption;
            if (metrics.horizontalAdvance(text) > inner.width()) continue;
            painter.setPen(Qt::black);
            painter.drawText(inner, Qt::AlignCenter, text);
        }
    }
}

TRaskroyWindow::TRaskroyWindow(std::filesystem::path settingsFile, QWidget* parent)
    : QDialog(parent), file_(std::move(settingsFile)) {
    setObjectName(QStringLiteral("Raskroy"));
    setWindowTitle(ToQ("Раскрой"_cp1251));
    setFont(PixelFont("Tahoma", kTextPixels));

    auto* column = new QVBoxLayout(this);
    auto* fields = new QGridLayout();
    auto edit = [&](const char* name, const char* caption, int row, int col, int span) {
        auto* label = new QLabel(ToQ(Utf8ToCp1251(caption)), this);
        auto* line = new QLineEdit(this);
        line->setObjectName(QString::fromLatin1(name));
        line->setMinimumHeight(kRowHeight);
        label->setBuddy(line);
        fields->addWidget(label, row, col);
        fields->addWidget(line, row, col + 1, 1, span);
        return line;
    };
    StockEdit = edit("StockEdit", "Хлысты, мм", 0, 0, 5);
    StockEdit->setToolTip(
        ToQ("6000x20,3000: длина и число хлыстов, без числа - без ограничения"_cp1251));
    auto* hint = new QLabel(
        ToQ("6000x20,3000 - 20 хлыстов по 6000 мм и 3000 мм без ограничения"_cp1251), this);
    hint->setStyleSheet(QStringLiteral("color: #555"));
    fields->addWidget(hint, 1, 1, 1, 7);
    KerfEdit = edit("KerfEdit", "Пропил", 2, 0, 1);
    HeadEdit = edit("HeadEdit", "Торцовка", 2, 2, 1);
    RemnantEdit = edit("RemnantEdit", "Мин. остаток", 2, 4, 1);
    PiecesEdit = edit("PiecesEdit", "Деталей на хлыст", 2, 6, 1);
    PiecesEdit->setToolTip(ToQ("0 - без ограничения"_cp1251));
    SaveButton = new QPushButton(ToQ("Сохранить"_cp1251), this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setMinimumHeight(kRowHeight);
    fields->addWidget(SaveButton, 0, 6, 1, 2);
    for (QLineEdit* short_ : {KerfEdit, HeadEdit, RemnantEdit, PiecesEdit})
        short_->setMaximumWidth(QFontMetrics(font()).horizontalAdvance(QStringLiteral("0000000")));
    column->addLayout(fields);

    auto* actions = new QHBoxLayout();
    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(ToQ(Utf8ToCp1251(caption)), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumHeight(kRowHeight);
        return b;
    };
    PlanButton = button("PlanButton", "Рассчитать");
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setMinimumHeight(kRowHeight);
    Progress->setVisible(false);
    CancelButton = button("CancelButton", "Отмена");
    CancelButton->setVisible(false);
    WorkButton = button("WorkButton", "Работать по плану");
    WorkButton->setEnabled(false);
    actions->addWidget(PlanButton);
    actions->addWidget(Progress, 1);
    actions->addWidget(CancelButton);
    actions->addStretch(0);
    actions->addWidget(WorkButton);
    column->addLayout(actions);

    Notice = new QLabel(this);
    Notice->setObjectName(QStringLiteral("Notice"));
    Notice->setWordWrap(true);
    column->addWidget(Notice);
    Totals = new QLabel(this);
    Totals->setObjectName(QStringLiteral("Totals"));
    Totals->setWordWrap(true);
    column->addWidget(Totals);
    Proof = new QLabel(this);
    Proof->setObjectName(QStringLiteral("Proof"));
    column->addWidget(Proof);

    PictureArea = new QScrollArea(this);
    PictureArea->setObjectName(QStringLiteral("PictureArea"));
    PictureArea->setWidgetResizable(true);
    PictureArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Picture = new TPlanPicture(PictureArea);
    PictureArea->setWidget(Picture);
    column->addWidget(PictureArea, 1);

    auto* bottom = new QHBoxLayout();
    auto legend = [&](const QColor& color, const char* caption) {
        auto* label = new QLabel(QStringLiteral("<span style='background:%1'>&nbsp;&nbsp;&nbsp;"
                                                "&nbsp;</span> %2")
                                     .arg(color.name(), ToQ(Utf8ToCp1251(caption))),
                                 this);
        bottom->addWidget(label);
    };
    legend(kPieceColor, "деталь");
    legend(kHeadColor, "торцовка");
    legend(kKerfColor, "пропил");
    legend(kRemnantColor, "остаток");
    {
        QPixmap swatch(28, 20);
        swatch.fill(kWasteColor);
        QPainter(&swatch).fillRect(swatch.rect(), WasteHatch());
        auto* mark = new QLabel(this);
        mark->setPixmap(swatch);
        bottom->addWidget(mark);
        bottom->addWidget(new QLabel(ToQ("отход"_cp1251), this));
    }
    bottom->addStretch(1);
    CloseButton = button("CloseButton", "Закрыть");
    bottom->addWidget(CloseButton);
    column->addLayout(bottom);

    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(PlanButton, &QPushButton::clicked, this, [this] { PlanClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(WorkButton, &QPushButton::clicked, this, [this] { WorkClick(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    ReadSettings();
}

void TRaskroyWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (planning_) return;
    ReadSettings();
    if (shown_) PlanFitsList();
}

void TRaskroyWindow::ReadSettings() {
    const std::string why = plan::ReadCutFile(file_, settings_);
    const TCutFields fields = FieldsOf(settings_);
    SetControlText(StockEdit, fields.Stock);
    SetControlText(KerfEdit, fields.Kerf);
    SetControlText(HeadEdit, fields.Head);
    SetControlText(RemnantEdit, fields.Remnant);
    SetControlText(PiecesEdit, fields.Pieces);
    if (!why.empty()) Say("В raskroy.dat не прочитано: "_cp1251 + why, true);
}

bool TRaskroyWindow::SaveClick() {
    const TCutFields fields{FromQ(StockEdit->text()), FromQ(KerfEdit->text()),
                            FromQ(HeadEdit->text()), FromQ(RemnantEdit->text()),
                            FromQ(PiecesEdit->text())};
    plan::TStationCut read = settings_;
    if (auto why = ReadCutFields(fields, read); !why.empty()) {
        Say("Не сохранено: "_cp1251 + why, true);
        return false;
    }
    try {
        plan::WriteCutFile(file_, read);
    } catch (const Exception& e) {
        Say("Не сохранено: "_cp1251 + e.what(), true);
        return false;
    }
    settings_ = std::move(read);
    Say("Сохранено"_cp1251, false);
    return true;
}

void TRaskroyWindow::PlanClick() {
    if (planning_ || !SaveClick()) return;
    std::optional<TListPieces> list = ListInWork ? ListInWork() : std::nullopt;
    if (!list || list->Pieces.empty()) {
        ShowNoPlan();
        Say("Нет списка в работе: откройте список, затем рассчитайте"_cp1251, true);
        return;
    }
    plan::TProblem problem;
    problem.Stock = settings_.Stock;
    problem.Cut = settings_.Cut;
    problem.Pieces = std::move(list->Pieces);
    if (StoreRemnants) problem.Remnants = StoreRemnants();
    if (auto why = plan::CheckProblem(problem); !why.empty()) {
        ShowNoPlan();
        Say("План не рассчитан: "_cp1251 + why, true);
        return;
    }
    ShowNoPlan();
    problem_ = problem;
    captions_ = std::move(list->Captions);
    plan::TPlanOptions options;
    options.TimeLimit = TimeLimit;
    planning_ = true;
    started_ = std::chrono::steady_clock::now();
    runner_.Start(std::move(problem), options);
    PlanButton->setEnabled(false);
    Say("Расчёт…"_cp1251, false);
    if (pollTimer_ == nullptr) {
        pollTimer_ = new QTimer(this);
        pollTimer_->setInterval(kPollMs);
        connect(pollTimer_, &QTimer::timeout, this, [this] { Poll(); });
    }
    pollTimer_->start();
}

void TRaskroyWindow::WorkClick() {
    if (!OnWork || !shown_) return;
    if (!PlanFitsList()) return;
    OnWork(problem_, plan_);
}

bool TRaskroyWindow::PlanFitsList() {
    // A plan of another list, or of this one read again with other sizes, cuts the wrong pieces.
    const std::optional<TListPieces> list = ListInWork ? ListInWork() : std::nullopt;
    if (!list || list->Pieces != problem_.Pieces) {
        ShowNoPlan();
        Say("Список в работе изменился: рассчитайте план заново"_cp1251, true);
        return false;
    }
    // A remnant taken from the store meanwhile is no longer there to be cut.
    const std::vector<plan::TRemnant> store =
        StoreRemnants ? StoreRemnants() : std::vector<plan::TRemnant>{};
    for (const plan::TBar& bar : plan_.Bars) {
        if (bar.Remnant < 0) continue;
        const plan::TRemnant& used = problem_.Remnants[static_cast<std::size_t>(bar.Remnant)];
        if (std::find(store.begin(), store.end(), used) != store.end()) continue;
        ShowNoPlan();
        Say("Остатка "_cp1251 + used.Id + " больше нет на складе: рассчитайте план заново"_cp1251,
            true);
        return false;
    }
    return true;
}

void TRaskroyWindow::CancelClick() {
    if (!planning_) return;
    runner_.Cancel();
    CancelButton->setEnabled(false);
    Say("Расчёт прерывается…"_cp1251, false);
}

void TRaskroyWindow::Poll() {
    if (auto result = runner_.Take()) {
        pollTimer_->stop();
        Show(std::move(*result));
        return;
    }
    const auto ran = std::chrono::steady_clock::now() - started_;
    if (ran < kQuietPlanning) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(ran).count();
    if (!Progress->isVisible()) {
        Progress->setRange(0, static_cast<int>(std::max<std::int64_t>(1, TimeLimit.count())));
        Progress->setVisible(true);
        CancelButton->setEnabled(true);
        CancelButton->setVisible(true);
    }
    Progress->setValue(static_cast<int>(std::min<std::int64_t>(ms, Progress->maximum())));
    if (!CancelButton->isEnabled()) return;  // the stop asked for is said
    if (const auto progress = runner_.Progress())
        Say("Расчёт… лучший план "_cp1251 + plan::FormatTenths(progress->Best) +
                " мм, нижняя граница "_cp1251 + plan::FormatTenths(progress->Bound) + " мм"_cp1251,
            false);
}

void TRaskroyWindow::Show(plan::TPlanResult result) {
    planning_ = false;
    Progress->setVisible(false);
    CancelButton->setVisible(false);
    PlanButton->setEnabled(true);
    if (!result.Failure.empty()) {
        ShowNoPlan();
        Say("План не рассчитан: "_cp1251 + result.Failure, true);
        return;
    }
    plan_ = std::move(result.Plan);
    shown_ = true;
    Say(plan_.Stopped ? "Расчёт прерван: показан лучший найденный план"_cp1251 : std::string(),
        false);
    Totals->setText(ToQ(console::TotalsText(problem_, plan_)));
    Proof->setText(ToQ(console::ProofText(plan_)));
    Proof->setStyleSheet(plan_.Proven ? QStringLiteral("color: #006000")
                                      : QStringLiteral("color: #804000"));
    Picture->SetPlan(&problem_, &plan_, &captions_);
    WorkButton->setEnabled(static_cast<bool>(OnWork));
}

void TRaskroyWindow::ShowNoPlan() {
    shown_ = false;
    Picture->SetPlan(nullptr, nullptr, nullptr);
    Totals->clear();
    Proof->clear();
    WorkButton->setEnabled(false);
}

void TRaskroyWindow::Say(const std::string& cp1251, bool fault) {
    Notice->setText(ToQ(cp1251));
    Notice->setStyleSheet(fault ? QStringLiteral("color: white; background: #c00000; padding: 4px")
                                : QString());
}

std::string TRaskroyWindow::NoticeText() const {
    return FromQ(Notice->text());
}
std::string TRaskroyWindow::TotalsText() const {
    return FromQ(Totals->text());
}
std::string TRaskroyWindow::ProofText() const {
    return FromQ(Proof->text());
}

}  // namespace tandrel::console
