#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "styling/LineSthScalarEngineHQ.h"

namespace {

const std::string P = "LineSthScalarEngineHQ::Parser: ";
const std::string kUnbalanced = P + "brackets unbalanced\n", kOperators = P + "missing operators\n",
                  kOperands = P + "missing operands\n";

using Engine = LineSthScalarEngineHQ;

enum Outcome { ANY, ACCEPTED, REJECTED };

// Parses, checks the outcome, and returns what was printed.
std::string parseOutput(Engine& engine, const char* text, Outcome expected = ANY) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  const bool result = engine.parse(text);
  std::fflush(stdout);
  EXPECT_TRUE(expected == ANY || result == (expected == ACCEPTED)) << (text ? text : "(no text)");
  return testing::internal::GetCapturedStdout();
}

// curvature -0.5, depth -0.25, light 0.7 (or as given), rim 0.2, iso 0.8, taper 0.4.
Engine::Inputs inputs(float light = 0.7f) { return {-0.5f, -0.25f, light, 0.2f, 0.8f, 0.4f}; }

// Negation binds weaker than ^; division by |b| <= 1e-6 keeps the dividend.
TEST(ScalarEngine, OperatorsAndInputs) {
  // clang-format off
  const struct { const char* text; float value; float light = 0.7f; } cases[] = {
      {"2^3^2", 64}, {"2-3-4", -5}, {"8/2/2", 2}, {"2+3*4", 14}, {"(2+3)*4", 20}, {"1 + 2.5 * .5", 2.25f},
      {"-2^2", -4}, {"-light", -0.7f}, {"2 - -1", 3}, {"2^-3", 0.125f}, {"light<-rim", -0.2f}, {"--light", 0.7f},
      {"abs -light", 0.7f}, {"abs(rim - light)", 0.5f}, {"-light*2", -1.4f}, {"light < 0.5", 0.5f},
      {"light < 0.5", 0.3f, 0.3f}, {"light > 0.5", 0.5f, 0.3f}, {"light/0", 0.7f}, {"light/0.000001", 0.7f},
      {"light/0.5", 1.4f},
      {"CURVATURE + Depth*10 + light*100 + RIM*1000 + iso + taper", -0.5f - 2.5f + 70.0f + 200.0f + 0.8f + 0.4f}};
  // clang-format on
  for (const auto& c : cases) {
    Engine engine;
    parseOutput(engine, c.text, ACCEPTED);
    EXPECT_FLOAT_EQ(engine.evaluate(inputs(c.light)), c.value) << c.text;
  }
  Engine engine;
  parseOutput(engine, "CURVATURE + Depth*10 + light*100 + RIM*1000 + iso + taper");
  for (uint32_t bit :
       {Engine::IN_CURVATURE, Engine::IN_DEPTH, Engine::IN_LIGHT, Engine::IN_RIM, Engine::IN_ISO, Engine::IN_TAPER})
    EXPECT_TRUE(engine.uses(bit));
  parseOutput(engine, "taper");
  EXPECT_TRUE(engine.uses(Engine::IN_TAPER) && !engine.uses(Engine::IN_LIGHT));
}

// The program is printed once, for a new text only; an absent text is an empty program, an empty one is parsed (and
// fails); a good text after a failed one leaves no error.
TEST(ScalarEngineOutput, PrintsTheProgramOnceForANewText) {
  Engine engine;
  EXPECT_EQ(parseOutput(engine, "", ACCEPTED), "");  // equals the formula at construction
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
  const char* text = "( light - rim )*iso*(taper*.5 + .5 )";
  EXPECT_EQ(parseOutput(engine, text, ACCEPTED), P + "LIGHT RIM - ISO * TAPER 0.5 * 0.5 + * \n");
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), (0.7f - 0.2f) * 0.8f * (0.4f * 0.5f + 0.5f));
  EXPECT_EQ(parseOutput(engine, text, ACCEPTED), "");
  EXPECT_EQ(parseOutput(engine, "-2.25 ^ abs depth < curvature > 3"), P + "2.25 DEPTH ABS ^ CURVATURE < 3 > NEG \n");
  EXPECT_EQ(parseOutput(engine, nullptr, ACCEPTED), "");
  EXPECT_TRUE(engine.program().empty());
  EXPECT_EQ(parseOutput(engine, "", REJECTED), kOperands);  // differs from "no text"
  parseOutput(engine, "light + 1", ACCEPTED);
  EXPECT_EQ(engine.error(), "");
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 1.7f);
}

// Every bad text prints its messages in order, keeps the first for the caller, evaluates to 0, and is then silent.
TEST(ScalarEngineErrors, ReportInOrderAndEvaluateToZero) {
  // clang-format off
  const struct { const char* text; std::string messages; } cases[] = {
      {"(light", kUnbalanced}, {"light)", P + "missing '('\n" + kUnbalanced}, {"light rim", kOperators},
      {"light +", kOperands}, {"x", P + "code 0!=operator\n" + kOperands},
      {"light * q", P + "code 0!=operator\n" + kOperands}, {"lightness", P + "code 0!=operator\n"}, {"", kOperands},
      {"   \t ", kOperands}, {".", P + "bad float format\n"}, {"1 + .", P + "bad float format\n"}, {"()", kOperands},
      {"((light)", kUnbalanced}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Engine engine;
    parseOutput(engine, "light");  // so that every text differs from the current one
    EXPECT_EQ(parseOutput(engine, c.text, REJECTED), c.messages);
    EXPECT_TRUE(engine.program().empty() && engine.constants().empty() && !engine.uses(Engine::IN_LIGHT));
    EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
    EXPECT_EQ(engine.error(), c.messages.substr(P.size(), c.messages.find('\n') - P.size()));
    EXPECT_EQ(parseOutput(engine, c.text, ACCEPTED), "");
    EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
    EXPECT_FALSE(engine.error().empty());
  }
}

TEST(ScalarEngineLimits, DeepBracketsAndLongTexts) {
  Engine engine;
  std::string deep = std::string(1000, '(') + "light" + std::string(1000, ')'), sum, pairs;
  parseOutput(engine, deep.c_str(), ACCEPTED);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.7f);
  deep.pop_back();
  EXPECT_EQ(parseOutput(engine, deep.c_str(), REJECTED), kUnbalanced);
  while (sum.size() < 100000) sum += "1+";  // 100 kB: 1+1+...+1
  sum += "1";
  parseOutput(engine, sum.c_str(), ACCEPTED);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), static_cast<float>(sum.size() / 2 + 1));
  while (pairs.size() < 100000) pairs += "light ";  // operands without operators
  EXPECT_EQ(parseOutput(engine, pairs.c_str(), REJECTED), kOperators);
  parseOutput(engine, std::string(100000, '9').c_str(), ACCEPTED);  // overflows to infinity, still no crash
  EXPECT_TRUE(std::isinf(engine.evaluate(inputs())));
}

}  // namespace
