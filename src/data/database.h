#pragma once

// The data layer's database, as one include: the connection text and its setting
// file, the pooled connections and their dialects, the catalog, the messages,
// and the making of a new database.
#include "catalog.h"
#include "connectiontext.h"
#include "dialect.h"
#include "messages.h"
#include "newdatabase.h"
#include "outcome.h"
#include "pool.h"
#include "schema.h"
