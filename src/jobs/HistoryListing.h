#pragma once

#include "jobs/History.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace edi {

enum class HistoryFormat { Table, Csv, Json };
std::optional<HistoryFormat> historyFormatNamed(const QString& name);

// The columns of a listed history row: their titles for people (Japanese), and their keys for
// scripts (the CSV header and the JSON names).
QStringList historyColumnTitles();
QStringList historyColumnKeys();
// The row's values in the order of the columns: serial, branch, step, centre, start, end, codes,
// the codes' meaning in words, category, record counts, file, note.
QStringList historyCells(qint32 serial, const HistoryRow& row);

// The jobs as text: a table with aligned columns; CSV with a header line (RFC 4180 quoting);
// JSON, an array of jobs, each with its job row's values and its steps.
QString formatHistory(const std::vector<JobHistory>& jobs, HistoryFormat format);

}  // namespace edi
