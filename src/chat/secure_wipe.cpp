#include "chat/secure_wipe.h"

#include "platform/crypto.h"

void SecureWipeString(std::string* text) {
  if (text == nullptr) return;
  platform::SecureZero(text->data(), text->size());
  text->clear();
}
