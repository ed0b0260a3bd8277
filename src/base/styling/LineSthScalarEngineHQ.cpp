#include "styling/LineSthScalarEngineHQ.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct CodeInfo {
  bool isOperator;
  int operands;
  int precedence;
};

const CodeInfo kCodes[20] = {
    {false, 0, 0},  // 0 error
    {false, 0, 0},  // 1 space
    {false, 0, 0},  // 2 number
    {false, 0, 0},  // 3 curvature
    {false, 0, 0},  // 4 depth
    {false, 0, 0},  // 5 light
    {false, 0, 0},  // 6 rim
    {false, 0, 0},  // 7 iso
    {false, 0, 0},  // 8 taper
    {true, 2, 1},   // 9 +
    {true, 2, 1},   // 10 -
    {true, 2, 2},   // 11 *
    {true, 2, 2},   // 12 /
    {true, 1, 3},   // 13 negation
    {true, 2, 4},   // 14 ^
    {true, 2, 4},   // 15 <
    {true, 2, 4},   // 16 >
    {true, 1, 4},   // 17 abs
    {false, 0, 0},  // 18 (
    {false, 0, 0},  // 19 )
};

const char* const kPrefix = "LineSthScalarEngineHQ::Parser: ";

struct Keyword {
  char first;
  const char* word;
  uint8_t code;
  uint32_t input;
};

const Keyword kKeywords[] = {
    {'c', "curvature", LineSthScalarEngineHQ::C_CURVATURE, LineSthScalarEngineHQ::IN_CURVATURE},
    {'d', "depth", LineSthScalarEngineHQ::C_DEPTH, LineSthScalarEngineHQ::IN_DEPTH},
    {'l', "light", LineSthScalarEngineHQ::C_LIGHT, LineSthScalarEngineHQ::IN_LIGHT},
    {'r', "rim", LineSthScalarEngineHQ::C_RIM, LineSthScalarEngineHQ::IN_RIM},
    {'i', "iso", LineSthScalarEngineHQ::C_ISO, LineSthScalarEngineHQ::IN_ISO},
    {'t', "taper", LineSthScalarEngineHQ::C_TAPER, LineSthScalarEngineHQ::IN_TAPER},
    {'a', "abs", LineSthScalarEngineHQ::C_ABS, 0},
};

// The token at `p` (with `rest` characters left): its code and, for fixed
// tokens, its length. Keywords are told by their first letter, then compared
// whole without regard to case; what follows a keyword is not examined.
uint8_t token(const char* p, size_t rest, size_t& length, uint32_t& input) {
  length = 1;
  input = 0;
  const char c = *p;
  switch (c) {
    case ' ':
    case '\t': return LineSthScalarEngineHQ::C_SPACE;
    case '+': return LineSthScalarEngineHQ::C_ADD;
    case '-': return LineSthScalarEngineHQ::C_SUB;
    case '*': return LineSthScalarEngineHQ::C_MUL;
    case '/': return LineSthScalarEngineHQ::C_DIV;
    case '^': return LineSthScalarEngineHQ::C_POW;
    case '<': return LineSthScalarEngineHQ::C_MIN;
    case '>': return LineSthScalarEngineHQ::C_MAX;
    case '(': return LineSthScalarEngineHQ::C_OPEN;
    case ')': return LineSthScalarEngineHQ::C_CLOSE;
    default: break;
  }
  if ((c >= '0' && c <= '9') || c == '.') return LineSthScalarEngineHQ::C_NUMBER;
  const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  for (const Keyword& k : kKeywords) {
    if (k.first != lower) continue;
    const size_t n = std::strlen(k.word);
    if (rest >= n && strncasecmp(p, k.word, n) == 0) {
      length = n;
      input = k.input;
      return k.code;
    }
    break;
  }
  length = 0;
  return LineSthScalarEngineHQ::C_ERROR;
}

// Digits with an optional fraction, or "." with at least one digit; no sign,
// no exponent. Returns the number of characters read, 0 for a bad format.
size_t number(const char* p, size_t rest, float& value) {
  double v = 0.0;
  size_t i = 0;
  size_t digits = 0;
  while (i < rest && p[i] >= '0' && p[i] <= '9') {
    v = v * 10.0 + (p[i] - '0');
    ++i;
    ++digits;
  }
  if (i < rest && p[i] == '.') {
    ++i;
    double scale = 1.0;
    while (i < rest && p[i] >= '0' && p[i] <= '9') {
      scale *= 10.0;
      v += (p[i] - '0') / scale;
      ++i;
      ++digits;
    }
  }
  if (digits == 0) return 0;
  value = static_cast<float>(v);
  return i;
}

}  // namespace

void LineSthScalarEngineHQ::clear() {
  code.clear();
  values.clear();
  used = 0;
}

bool LineSthScalarEngineHQ::parse(const char* formulaText) {
  if (!formulaText) {
    if (!absent) {
      absent = true;
      text.clear();
      clear();
      failure.clear();
    }
    return true;
  }
  if (!absent && text == formulaText) return true;
  absent = false;
  text = formulaText;
  clear();
  failure.clear();

  const char* p = text.c_str();
  const size_t length = text.size();
  std::vector<uint8_t> operators;
  bool expectOperand = true;
  long operandCount = 0;
  long depth = 0;
  bool error = false;
  // Prints a parse error and keeps the first one for error().
  auto report = [&](const std::string& message) {
    std::printf("%s%s\n", kPrefix, message.c_str());
    if (!error) failure = message;
    error = true;
  };
  size_t cursor = 0;
  while (cursor < length && !error) {
    size_t consumed = 1;
    uint32_t input = 0;
    uint8_t c = token(p + cursor, length - cursor, consumed, input);
    switch (c) {
      case C_SPACE: break;
      case C_NUMBER: {
        float v = 0;
        consumed = number(p + cursor, length - cursor, v);
        if (consumed == 0) {
          report("bad float format");
          consumed = 1;
        } else {
          code.push_back(C_NUMBER);
          values.push_back(v);
        }
        ++operandCount;
        expectOperand = false;
        break;
      }
      case C_CURVATURE:
      case C_DEPTH:
      case C_LIGHT:
      case C_RIM:
      case C_ISO:
      case C_TAPER:
        code.push_back(c);
        used |= input;
        ++operandCount;
        expectOperand = false;
        break;
      case C_OPEN:
        operators.push_back(C_OPEN);
        ++depth;
        expectOperand = true;
        break;
      case C_CLOSE:
        while (!operators.empty() && operators.back() != C_OPEN) {
          code.push_back(operators.back());
          operators.pop_back();
        }
        if (operators.empty()) {
          report("missing '('");
        } else {
          operators.pop_back();
        }
        --depth;
        expectOperand = false;
        break;
      default:
        if (c == C_SUB && expectOperand) c = C_NEG;
        if (c < 20 && kCodes[c].isOperator) {
          // A prefix operator has no left operand yet, so nothing on the
          // stack can be complete: it is pushed without popping (this keeps
          // 2^-3, a<-b, --x and abs -x intact).
          const bool prefix = kCodes[c].operands == 1;
          if (!prefix) {
            while (!operators.empty() && kCodes[operators.back()].precedence >= kCodes[c].precedence) {
              code.push_back(operators.back());
              operators.pop_back();
            }
          }
          operators.push_back(c);
          operandCount += 1 - kCodes[c].operands;
          expectOperand = true;
        } else {
          report("code " + std::to_string(static_cast<int>(c)) + "!=operator");
        }
        break;
    }
    cursor += consumed;
  }
  if (depth != 0) report("brackets unbalanced");
  if (operandCount > 1)
    report("missing operators");
  else if (operandCount < 1)
    report("missing operands");
  if (error) {
    clear();
    return false;
  }
  while (!operators.empty()) {
    // A "(" cannot remain here: the bracket depth is 0.
    if (operators.back() != C_OPEN) code.push_back(operators.back());
    operators.pop_back();
  }
  printProgram();
  return true;
}

void LineSthScalarEngineHQ::printProgram() const {
  std::string line = kPrefix;
  size_t constant = 0;
  char buffer[64];
  for (uint8_t c : code) {
    switch (c) {
      case C_NUMBER:
        std::snprintf(buffer, sizeof buffer, "%g ",
                      constant < values.size() ? static_cast<double>(values[constant]) : 0.0);
        ++constant;
        line += buffer;
        break;
      case C_CURVATURE: line += "CURVATURE "; break;
      case C_DEPTH: line += "DEPTH "; break;
      case C_LIGHT: line += "LIGHT "; break;
      case C_RIM: line += "RIM "; break;
      case C_ISO: line += "ISO "; break;
      case C_TAPER: line += "TAPER "; break;
      case C_ADD: line += "+ "; break;
      case C_SUB: line += "- "; break;
      case C_MUL: line += "* "; break;
      case C_DIV: line += "/ "; break;
      case C_NEG: line += "NEG "; break;
      case C_POW: line += "^ "; break;
      case C_MIN: line += "< "; break;
      case C_MAX: line += "> "; break;
      case C_ABS: line += "ABS "; break;
      default: break;
    }
  }
  line += '\n';
  std::fputs(line.c_str(), stdout);
}

float LineSthScalarEngineHQ::evaluate(const Inputs& in) const {
  if (code.empty()) return 0.0f;
  stack.clear();
  size_t constant = 0;
  // Pops one value; an operand the program lacks counts as 0.
  auto pop = [this]() {
    if (stack.empty()) return 0.0f;
    const float v = stack.back();
    stack.pop_back();
    return v;
  };
  for (uint8_t c : code) {
    switch (c) {
      case C_NUMBER:
        stack.push_back(constant < values.size() ? values[constant] : 0.0f);
        ++constant;
        break;
      case C_CURVATURE: stack.push_back(in.curvature); break;
      case C_DEPTH: stack.push_back(in.depth); break;
      case C_LIGHT: stack.push_back(in.light); break;
      case C_RIM: stack.push_back(in.rim); break;
      case C_ISO: stack.push_back(in.iso); break;
      case C_TAPER: stack.push_back(in.taper); break;
      case C_NEG: stack.push_back(-pop()); break;
      case C_ABS: stack.push_back(std::fabs(pop())); break;
      case C_ADD:
      case C_SUB:
      case C_MUL:
      case C_DIV:
      case C_POW:
      case C_MIN:
      case C_MAX: {
        const float b = pop();
        const float a = pop();
        float r = a;
        switch (c) {
          case C_ADD: r = a + b; break;
          case C_SUB: r = a - b; break;
          case C_MUL: r = a * b; break;
          case C_DIV: r = std::fabs(b) > 1e-6f ? a / b : a; break;
          case C_POW: r = std::pow(a, b); break;
          case C_MIN: r = a < b ? a : b; break;
          default: r = a > b ? a : b; break;
        }
        stack.push_back(r);
        break;
      }
      default: std::printf("%s:%d: unexpected opcode\n", __FILE__, __LINE__); break;
    }
  }
  return stack.size() == 1 ? stack.back() : 0.0f;
}
