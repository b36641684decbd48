// The one exception of the desktop-database interface, raised by value by the plug-in
// holder and caught by type in the conduit. Kept free of out-of-line members so that every
// library that throws or catches it agrees on its type without linking anything.
#pragma once

class __attribute__((visibility("default"))) CNbddb_Exception {
 public:
  static constexpr int kGeneric = 0;
  static constexpr int kNoEntryPoint = 1;
  static constexpr int kLoadFailed = 2;
  static constexpr int kCreateFailed = 3;
  static constexpr int kBadVersion = 4;

  explicit CNbddb_Exception(int code) : code_(code) {}

  int code() const { return code_; }
  const char* text() const { return TextFor(code_); }

  static const char* TextFor(int code) {
    switch (code) {
      case kGeneric:
        return "generic error";
      case kNoEntryPoint:
        return "plugin has no entry point";
      case kLoadFailed:
        return "unable to load plugin";
      case kCreateFailed:
        return "unable to create plugin object";
      case kBadVersion:
        return "plugin version is not supported";
      default:
        return "unknown error";
    }
  }

 private:
  int code_;
};
