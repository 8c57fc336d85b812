#pragma once

#include "data/engine/roles.h"
#include "data/operators/operators.h"

// The two kinds of operator directory (operators::Directory); directory() picks one.
namespace operators {

// A file's: the operators' rows read and written through the screen's record source.
std::unique_ptr<Directory> fileDirectory(const QString &connectionText, RecordSource *records, const QString &table);
// A database's whose operators are roles of its own (serverdirectory.cpp).
std::unique_ptr<Directory> serverDirectory(const QString &connectionText, const db::Roles &roles);

} // namespace operators
