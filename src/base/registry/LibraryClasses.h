#ifndef LINFOLD_LIBRARYCLASSES_H
#define LINFOLD_LIBRARYCLASSES_H

// Registers every element and node class of the library with the Open
// Inventor type system, elements first. Safe to call more than once: a class
// is registered only while its type is still the bad type. SoDB must be
// initialised before (SoQt::init or SoDB::init).
void initLibraryClasses();

#endif
