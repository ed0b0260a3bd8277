#ifndef LINFOLD_SOSFNUMBEREDENUM_H
#define LINFOLD_SOSFNUMBEREDENUM_H

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSubField.h>

// A mode field that names its values (SO_NODE_SET_SF_ENUM_TYPE) yet reads and
// writes them as the numbers these fields always held: "dividingMode 3" in a
// file or `--set` keeps working and is what get() prints, and "dividingMode
// LOOP" is read as 3. Any whole number is taken, as from an SoSFInt32: the node
// that uses the value says what it cannot use. (Coin's SoSFEnum reads names
// only.)
class SoSFNumberedEnum : public SoSFEnum {
  typedef SoSFEnum inherited;
  SO_SFIELD_DERIVED_HEADER(SoSFNumberedEnum, int, int);

 public:
  static void initClass();
};

#endif
