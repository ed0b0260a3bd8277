#include "core/SoSFNumberedEnum.h"

#include <Inventor/errors/SoReadError.h>

SO_SFIELD_DERIVED_SOURCE(SoSFNumberedEnum, int, int);

void SoSFNumberedEnum::initClass() {
  if (getClassTypeId() == SoType::badType()) SO_SFIELD_INIT_CLASS(SoSFNumberedEnum, inherited);
}

SbBool SoSFNumberedEnum::readValue(SoInput* in) {
  int number = 0;
  if (in->read(number)) {
    value = number;
    return TRUE;
  }
  SbName name;
  if (!in->read(name, TRUE)) {
    SoReadError::post(in, "Couldn't read a number or an enumeration name");
    return FALSE;
  }
  if (!findEnumValue(name, number)) {
    SoReadError::post(in, "Unknown enumeration value \"%s\"", name.getString());
    return FALSE;
  }
  value = number;
  return TRUE;
}

void SoSFNumberedEnum::writeValue(SoOutput* out) const { out->write(getValue()); }
