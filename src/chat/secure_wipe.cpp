#include "chat/secure_wipe.h"

#include "platform/crypto.h"

void SecureWipeString(std::string* text) {
  if (text == nullptr) return;
  platform::SecureZero(text->data(), text->size());
  text->clear();
}

WipeLinesOnExit::~WipeLinesOnExit() {
  for (std::string& line : lines_) SecureWipeString(&line);
}
