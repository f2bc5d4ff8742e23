#pragma once

#include "jobs/History.h"

#include <QStringList>
#include <vector>

namespace edi {

// A history row's codes in words: their meaning (codeMeaning), or that the row was never
// completed (a job that still runs or whose process ended).
QString rowMeaning(const HistoryRow& row);

// A step's name by its processing kind ("10": 受信); the job row's kind "01" is ジョブ.
QString historyStepName(const QString& processingKind);

// What a job did, told from its history rows: a first line with the serial and how the job ended,
// then one line per step with its codes and their meaning, the categories and record counts
// registered, the files and the step's notes.
QStringList jobReport(qint32 serial, const std::vector<HistoryRow>& rows);

// A job's report followed by the notes it does not already tell (a source given back, a
// recovery); the notes alone for a job that has no report.
QStringList reportWithNotes(const QStringList& report, const QStringList& notes);

}  // namespace edi
