// The main window's side of the label preview: which label the next step would print.

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit2.h"
#include "job/sequence.h"
#include "labels/label.h"

namespace tandrel::console {

std::string TForm1::TestLabelText() {
    return "Testovaya pechat, Тестовая печать =)"_cp1251;
}

TLabelToPreview TForm1::NextLabelPreview() const {
    static const job::SizeRow kNoRow;
    const std::vector<std::string> lines = TemplateLines();
    std::string zpl;
    const std::int32_t row = job::NextStepRow(Job, Settings.ConsecutiveRows);
    if (row == 0) {
        for (const auto& write :
             labels::LabelWrites(lines, TestLabelText(), kNoRow, Job.FieldCount))
            zpl += write;
        return {zpl, "Тестовая этикетка"_cp1251};
    }
    for (const auto& write : labels::LabelWrites(lines, "", Job.Rows[row], Job.FieldCount))
        zpl += write;
    return {zpl, "Строка "_cp1251 + std::to_string(row) + ": " + Job.Rows[row].Caption};
}

}  // namespace tandrel::console
