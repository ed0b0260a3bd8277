#ifndef LINFOLD_SOLINESETTINGSELEMENTHQ_H
#define LINFOLD_SOLINESETTINGSELEMENTHQ_H

#include <Inventor/elements/SoReplacedElement.h>

class SbLineSettingsHQ;

// The current line-settings record; it belongs to the node that set it.
class SoLineSettingsElementHQ : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoLineSettingsElementHQ);

 public:
  static void initClass();
  void init(SoState* state) override;

  static void set(SoState* state, SoNode* node, SbLineSettingsHQ* value);
  // The innermost setting, or null.
  static SbLineSettingsHQ* get(SoState* state);

 protected:
  ~SoLineSettingsElementHQ() override;

 private:
  SbLineSettingsHQ* value = nullptr;
};

#endif
