#include "console/column_map_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {

constexpr int kTextPixels = 26;
constexpr int kControlHeight = 64;

std::string RoleCaption(int role) {
    switch (static_cast<job::TColumnRole>(role)) {
        case job::TColumnRole::Unused:
            return "не используется"_cp1251;
        case job::TColumnRole::Size:
            return "размер"_cp1251;
        case job::TColumnRole::Quantity:
            return "количество"_cp1251;
        case job::TColumnRole::Caption:
            return "наименование"_cp1251;
        default:
            return "E" + std::to_string(role - static_cast<int>(job::TColumnRole::E1) + 1);
    }
}

}  // namespace

TColumnMapDialog::TColumnMapDialog(const std::string& listName,
                                   const std::vector<std::string>& header,
                                   const std::vector<job::TColumnRole>& roles, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ColumnMapDialog"));
    setWindowTitle(ToQ("Столбцы списка"_cp1251));
    setFont(PixelFont("Tahoma", kTextPixels));
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(ToQ("Что в каждом столбце списка "_cp1251 + listName + "?"), this);
    title->setWordWrap(true);
    column->addWidget(title);

    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    auto* rows = new QWidget(area);
    auto* grid = new QGridLayout(rows);
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string& name = header[i];
        auto* label = new QLabel(ToQ(name.empty() ? "(без названия)"_cp1251 : name), rows);
        auto* choice = new QComboBox(rows);
        choice->setObjectName(QStringLiteral("Choice%1").arg(i));
        choice->setMinimumHeight(kControlHeight);
        choice->setMinimumWidth(360);
        for (int role = 0; role <= static_cast<int>(job::TColumnRole::E6); ++role)
            choice->addItem(ToQ(RoleCaption(role)), role);
        if (i < roles.size()) choice->setCurrentIndex(static_cast<int>(roles[i]));
        connect(choice, &QComboBox::currentIndexChanged, this, [this] { Check(); });
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(choice, static_cast<int>(i), 1);
        Choices.push_back(choice);
    }
    grid->setRowStretch(static_cast<int>(header.size()), 1);
    area->setWidget(rows);
    column->addWidget(area, 1);

    Hint = new QLabel(ToQ("Нужен ровно один столбец размера; остальное — не больше одного "
                          "столбца каждого вида"_cp1251),
                      this);
    Hint->setWordWrap(true);
    column->addWidget(Hint);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    OkButton = new QPushButton(ToQ("Применить"_cp1251), this);
    CancelButton = new QPushButton(ToQ("Отмена"_cp1251), this);
    for (QPushButton* button : {OkButton, CancelButton}) {
        button->setMinimumSize(240, 76);
        buttons->addWidget(button);
    }
    OkButton->setObjectName(QStringLiteral("OkButton"));
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    column->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    Check();
}

std::vector<job::TColumnRole> TColumnMapDialog::Roles() const {
    std::vector<job::TColumnRole> roles;
    for (const QComboBox* choice : Choices)
        roles.push_back(static_cast<job::TColumnRole>(choice->currentData().toInt()));
    return roles;
}

void TColumnMapDialog::SetRole(int column, job::TColumnRole role) {
    Choices.at(static_cast<std::size_t>(column))->setCurrentIndex(static_cast<int>(role));
}

void TColumnMapDialog::Check() {
    const bool usable = job::UsableRoles(Roles());
    OkButton->setEnabled(usable);
    Hint->setStyleSheet(usable ? QString() : QStringLiteral("color: #c00000"));
}

}  // namespace tandrel::console
