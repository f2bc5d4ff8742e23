#pragma once

#include "convert/localcii/FormatState.h"
#include "convert/localcii/LayoutItem.h"

#include <QString>
#include <optional>
#include <vector>

namespace edi {

class Database;

// Where the converters read their masters: the format master by information class and BPID,
// and the record-format rows of one layout kind ("E" or "L") in 項目通番 order.
class FormatMasters {
public:
    virtual ~FormatMasters() = default;
    // nullopt when the format master has no row.
    virtual std::optional<FormatMasterRow> lookUpFormat(const QString& infoClass, const QString& bpid) = 0;
    // No rows gives an empty list. Throws LayoutError for a row without 属性 or 繰返し数.
    virtual std::vector<LayoutItem> layoutRows(QChar kind, const QString& infoClass, const QString& bpid) = 0;
};

// The masters in the system's database, read with the system's statements and bound values.
// Throws DatabaseError when a statement fails.
class DatabaseFormatMasters final : public FormatMasters {
public:
    explicit DatabaseFormatMasters(Database& database) : database_(database) {}
    std::optional<FormatMasterRow> lookUpFormat(const QString& infoClass, const QString& bpid) override;
    std::vector<LayoutItem> layoutRows(QChar kind, const QString& infoClass, const QString& bpid) override;

private:
    Database& database_;
};

}  // namespace edi
