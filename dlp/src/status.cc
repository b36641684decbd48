#include <string>

#include "dlp/handheld.h"

namespace nb::dlp {

std::string StatusText(Status status) {
  switch (status) {
    case kOk:
      return "no error";
    case kErrSystem:
      return "system error";
    case kErrIllegalRequest:
      return "illegal request";
    case kErrMemory:
      return "out of memory";
    case kErrParam:
      return "invalid parameter";
    case kErrNotFound:
      return "not found";
    case kErrNoneOpen:
      return "no database open";
    case kErrDatabaseOpen:
      return "database open elsewhere";
    case kErrTooManyOpen:
      return "too many open databases";
    case kErrAlreadyExists:
      return "already exists";
    case kErrCantOpen:
      return "cannot open";
    case kErrRecordDeleted:
      return "record deleted";
    case kErrRecordBusy:
      return "record busy";
    case kErrNotSupported:
      return "not supported";
    case kErrReadOnly:
      return "read-only";
    case kErrNotEnoughSpace:
      return "not enough space";
    case kErrLimitExceeded:
      return "limit exceeded";
    case kErrCancelSync:
      return "synchronisation cancelled";
    case kErrBadWrapper:
      return "bad argument wrapper";
    case kErrArgMissing:
      return "argument missing";
    case kErrArgSize:
      return "bad argument size";
    case kLinkLost:
      return "link lost";
  }
  return "error " + std::to_string(status);
}

}  // namespace nb::dlp
