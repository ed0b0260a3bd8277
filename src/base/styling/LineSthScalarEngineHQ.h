#ifndef LINFOLD_LINESTHSCALARENGINEHQ_H
#define LINFOLD_LINESTHSCALARENGINEHQ_H

#include <cstdint>
#include <string>
#include <vector>

// A small formula language for per-point stroke values: numbers, the six
// variables light, depth, rim, curvature, iso and taper, the operators
// + - * / ^ < > (min, max), unary minus and abs, and brackets. A formula is
// converted to a postfix program once (operator precedence with an operator
// stack, every operator left-associative) and then evaluated per point on a
// small value stack.
//
// Parse errors are printed as "LineSthScalarEngineHQ::Parser: ..." lines and
// leave an empty program, which evaluates to 0.
class LineSthScalarEngineHQ {
 public:
  // Token and opcode codes.
  enum Code : uint8_t {
    C_ERROR = 0,
    C_SPACE = 1,
    C_NUMBER = 2,
    C_CURVATURE = 3,
    C_DEPTH = 4,
    C_LIGHT = 5,
    C_RIM = 6,
    C_ISO = 7,
    C_TAPER = 8,
    C_ADD = 9,
    C_SUB = 10,
    C_MUL = 11,
    C_DIV = 12,
    C_NEG = 13,
    C_POW = 14,
    C_MIN = 15,
    C_MAX = 16,
    C_ABS = 17,
    C_OPEN = 18,
    C_CLOSE = 19
  };
  // Used-input bits.
  enum Input : uint32_t { IN_CURVATURE = 1, IN_DEPTH = 2, IN_LIGHT = 4, IN_RIM = 8, IN_ISO = 16, IN_TAPER = 32 };
  // The per-point inputs, in this order.
  struct Inputs {
    float curvature = 0;
    float depth = 0;
    float light = 0;
    float rim = 0;
    float iso = 0;
    float taper = 0;
  };

  // Returns true on success. Text equal to the current formula (empty at
  // construction) returns true at once, without parsing or printing. A null
  // text is success with an empty program; an empty string is parsed like
  // any other text.
  bool parse(const char* text);
  // The value of the program for one point; 0 for an empty program or one
  // that does not leave exactly one value. A missing operand counts as 0.
  float evaluate(const Inputs& inputs) const;
  // Whether the program reads the input (one of the Input bits).
  bool uses(uint32_t input) const { return (used & input) != 0; }

  const std::string& formula() const { return text; }
  // The first parse error of the current formula ("missing operands"); empty
  // when it parsed. Stays while the same text is parsed again.
  const std::string& error() const { return failure; }
  const std::vector<uint8_t>& program() const { return code; }
  const std::vector<float>& constants() const { return values; }

 private:
  void clear();
  void printProgram() const;

  std::string text;
  bool absent = false;  // the last parse was given no text at all
  std::string failure;
  std::vector<uint8_t> code;
  std::vector<float> values;
  uint32_t used = 0;
  mutable std::vector<float> stack;  // evaluation scratch
};

#endif
