#pragma once

#include "data/operators/operators.h"

// The two kinds of operator directory (operators::Directory), for the dialects.
namespace operators {

// A file's: the operators' rows read and written through the screen's record source.
std::unique_ptr<Directory> fileDirectory(const QString &connectionText, RecordSource *records, const QString &table);
// A server's: names looked up through the role the service names, passwords
// proved by logging in as the operator's role (postgresoperators.cpp).
std::unique_ptr<Directory> serverDirectory(const QString &connectionText);

} // namespace operators
