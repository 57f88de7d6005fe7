#pragma once
// The "Раскрой" window: the station's stock and cut settings (raskroy.dat), and the plan of the
// list in work drawn to scale. The plan is made on a thread of its own; the window looks at it
// on a timer and shows a progress bar and "Отмена" once it has taken longer than a moment.
// Main thread only.

#include <QDialog>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/raskroy_view.h"
#include "plan/plan.h"
#include "plan/plan_runner.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTimer;

namespace tandrel::console {

// The plan's bars drawn to scale, one strip per pattern; paints only, from the view's figures.
class TPlanPicture : public QWidget {
    Q_OBJECT
  public:
    explicit TPlanPicture(QWidget* parent);
    void SetPlan(const plan::TProblem* problem, const plan::TPlan* plan,
                 const std::vector<std::string>* captions);
    const std::vector<TBarGroup>& Groups() const { return groups_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const plan::TProblem* problem_ = nullptr;
    const plan::TPlan* plan_ = nullptr;
    const std::vector<std::string>* captions_ = nullptr;
    std::vector<TBarGroup> groups_;
    plan::TLength longest_ = 0;
};

class TRaskroyWindow : public QDialog {
    Q_OBJECT
  public:
    // settingsFile: raskroy.dat, read now.
    TRaskroyWindow(std::filesystem::path settingsFile, QWidget* parent);

    QLineEdit* StockEdit = nullptr;
    QLineEdit* KerfEdit = nullptr;
    QLineEdit* HeadEdit = nullptr;
    QLineEdit* RemnantEdit = nullptr;
    QLineEdit* PiecesEdit = nullptr;
    QPushButton* SaveButton = nullptr;  // "Сохранить"
    QPushButton* PlanButton = nullptr;  // "Рассчитать"
    QProgressBar* Progress = nullptr;
    QPushButton* CancelButton = nullptr;  // "Отмена"
    QPushButton* WorkButton = nullptr;    // "Работать по плану"
    QLabel* Notice = nullptr;             // a refusal, or what planning does
    QLabel* Totals = nullptr;
    QLabel* Proof = nullptr;
    QScrollArea* PictureArea = nullptr;
    TPlanPicture* Picture = nullptr;
    QPushButton* CloseButton = nullptr;

    // The list in work as pieces; none while no list is in work.
    std::function<std::optional<TListPieces>()> ListInWork;
    // The store's remnants, which the plan cuts first.
    std::function<std::vector<plan::TRemnant>()> StoreRemnants;
    // "Работать по плану": the plan shown and its problem. Unset, the button stays disabled.
    std::function<void(const plan::TProblem&, const plan::TPlan&)> OnWork;
    // The search's time limit.
    std::chrono::milliseconds TimeLimit{10000};

    // The settings in force (as read or last saved).
    const plan::TStationCut& Settings() const { return settings_; }
    // The fields read again from the file.
    void ReadSettings();
    // "Сохранить": the fields written to the file; false, with the reason said, when a field is
    // bad or the file cannot be written, and then nothing is written.
    bool SaveClick();
    // "Рассчитать": saves the fields, then plans the list in work.
    void PlanClick();
    void CancelClick();
    // "Работать по плану": the plan handed to OnWork while it is still the list in work's.
    void WorkClick();
    bool Planning() const { return planning_; }
    // The plan shown, if any.
    const plan::TPlan* ShownPlan() const { return shown_ ? &plan_ : nullptr; }
    std::string NoticeText() const;
    std::string TotalsText() const;
    std::string ProofText() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Say(const std::string& cp1251, bool fault);
    void Poll();
    void Show(plan::TPlanResult result);
    void ShowNoPlan();
    // Whether the plan shown is of the list in work as it stands; else it goes, said why.
    bool PlanFitsList();

    std::filesystem::path file_;
    plan::TStationCut settings_;
    plan::TProblem problem_;
    plan::TPlan plan_;
    std::vector<std::string> captions_;
    bool shown_ = false;
    bool planning_ = false;
    std::chrono::steady_clock::time_point started_;
    QTimer* pollTimer_ = nullptr;
    plan::TPlanRunner runner_;  // last: its thread ends before the rest goes
};

}  // namespace tandrel::console
