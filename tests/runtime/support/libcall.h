// Test support for the command libraries: an engine with one library opened
// into its globals, and a call of a command by name whose results (or error
// code) come back as one line of text, so that tables of cases can state
// what each call gives.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

struct vkState;
typedef int (*vkLibraryOpener)(vkState* L);

namespace vktest {

// An argument: a number, a string (may hold NUL bytes), nil, an empty table,
// a light userdata (an object's handle) or a command (a callback).
struct Arg {
  enum Kind { Number, String, Nil, Table, Pointer, Function, Global } kind;
  double number = 0;
  std::string text;
  void* pointer = nullptr;
  Arg(double d) : kind(Number), number(d) {}
  Arg(int i) : kind(Number), number(i) {}
  Arg(unsigned u) : kind(Number), number(u) {}
  Arg(const char* s) : kind(String), text(s) {}
  Arg(std::string s) : kind(String), text(std::move(s)) {}
  Arg(std::nullptr_t) : kind(Nil) {}
  static Arg table() { return Arg(Table); }
  static Arg handle(void* p) {
    Arg a(Pointer);
    a.pointer = p;
    return a;
  }
  static Arg function(int (*f)(vkState*)) {
    Arg a(Function);
    a.callback = f;
    return a;
  }
  // The value of the global [name] (a table or function a test made).
  static Arg global(const char* name) {
    Arg a(Global);
    a.text = name;
    return a;
  }
  int (*callback)(vkState*) = nullptr;

 private:
  explicit Arg(Kind k) : kind(k) {}
};

// One call and what it gives: "error N" for an error code, else the results
// joined by ", " (numbers as "%.14g", strings quoted, tables as {items at
// keys 0, 1, ... up to the first nil}, light userdata as "handle"). The
// results stay on the stack until the next call.
struct CallCase {
  const char* command;
  std::vector<Arg> args;
  std::string outcome;
};

class LibraryTest : public ::testing::Test {
 protected:
  // Opens [opener]'s library into the globals of a fresh engine.
  void OpenLibrary(vkLibraryOpener opener);
  void TearDown() override;
  // Calls the global [command] protected and describes what it gave.
  std::string Call(const std::string& command, const std::vector<Arg>& args);
  // Runs [cases] in order on one engine, each checked with its trace.
  void RunCases(const std::vector<CallCase>& cases);

  vkState* L = nullptr;
};

}  // namespace vktest
