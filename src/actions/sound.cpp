#include "app/form1.h"

namespace kestrune {

void Form1::Command3_Click() {}
bool Form1::SoundPlay(const std::string&) {
  return false;
}

}  // namespace kestrune
