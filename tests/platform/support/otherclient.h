// Another program on an X server, as far as the tests need one: it takes the
// clipboard and keeps it until it is dropped.
#pragma once

#include <memory>

class OtherXClient {
 public:
  // Connects to X display [display] (":93"); Connected() tells whether it could.
  explicit OtherXClient(const char* display);
  ~OtherXClient();
  bool Connected() const;
  // Makes a window of its own the owner of the CLIPBOARD selection.
  bool TakeClipboard();

 private:
  struct Connection;
  std::unique_ptr<Connection> c_;
};
