#pragma once
// The sheet of an OpenDocument spreadsheet (.ods, as LibreOffice saves it) as a table: the sheet
// it opens on (settings.xml's ActiveTable) when visible, else the first visible one; numbers by
// their value, dates by their date value, text as shown; repeated rows and columns cost only
// what holds something. The same zip and XML libraries as the XLSX reader. Any thread.

#include <string_view>

#include "job/table_list.h"

namespace tandrel::job {

TTableRead ReadOds(std::string_view bytes, TRowSink& sink);
TTable ReadOds(std::string_view bytes);

}  // namespace tandrel::job
