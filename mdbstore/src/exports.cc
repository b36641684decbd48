// The three exports of the plug-in.
#include <new>

#include "cmdbstore.h"

NBDDB_API CNbddb* NBDDB_New() { return new (std::nothrow) Cmdbstore; }

NBDDB_API void NBDDB_Delete(CNbddb* table) { delete table; }

NBDDB_API int NBDDB_GetVersion() { return kNbddbVersion; }
