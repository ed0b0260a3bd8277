#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "styling/LineSthScalarEngineHQ.h"

namespace {

const std::string P = "LineSthScalarEngineHQ::Parser: ";

using Engine = LineSthScalarEngineHQ;

// Parses and returns what was printed.
std::string parseOutput(Engine& engine, const char* text, bool* ok = nullptr) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  const bool result = engine.parse(text);
  std::fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  if (ok) *ok = result;
  return out;
}

Engine::Inputs inputs(float light = 0.7f, float rim = 0.2f) {
  Engine::Inputs in;
  in.curvature = -0.5f;
  in.depth = -0.25f;
  in.light = light;
  in.rim = rim;
  in.iso = 0.8f;
  in.taper = 0.4f;
  return in;
}

float value(const char* text, const Engine::Inputs& in = inputs()) {
  Engine engine;
  bool ok = false;
  parseOutput(engine, text, &ok);
  EXPECT_TRUE(ok) << text;
  return engine.evaluate(in);
}

// light 0.7 (0.3 where marked), rim 0.2, curvature -0.5, depth -0.25, iso 0.8, taper 0.4.
TEST(ScalarEngine, OperatorsAndInputs) {
  const struct {
    const char* text;
    float value;
    float light = 0.7f;
  } cases[] = {
      {"2^3^2", 64},
      {"2-3-4", -5},
      {"8/2/2", 2},
      {"2+3*4", 14},
      {"(2+3)*4", 20},
      {"1 + 2.5 * .5", 2.25f},
      {"-2^2", -4},  // negation binds weaker than ^
      {"-light", -0.7f},
      {"2 - -1", 3},
      {"2^-3", 0.125f},
      {"light<-rim", -0.2f},
      {"--light", 0.7f},
      {"abs -light", 0.7f},
      {"abs(rim - light)", 0.5f},
      {"-light*2", -1.4f},
      {"light < 0.5", 0.5f},
      {"light < 0.5", 0.3f, 0.3f},
      {"light > 0.5", 0.5f, 0.3f},
      {"light/0", 0.7f},
      {"light/0.000001", 0.7f},  // division by |b| <= 1e-6 keeps the dividend
      {"light/0.5", 1.4f},
      {"CURVATURE + Depth*10 + light*100 + RIM*1000 + iso + taper", -0.5f - 2.5f + 70.0f + 200.0f + 0.8f + 0.4f}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(value(c.text, inputs(c.light)), c.value) << c.text;
  Engine engine;
  parseOutput(engine, "CURVATURE + Depth*10 + light*100 + RIM*1000 + iso + taper");
  for (uint32_t bit :
       {Engine::IN_CURVATURE, Engine::IN_DEPTH, Engine::IN_LIGHT, Engine::IN_RIM, Engine::IN_ISO, Engine::IN_TAPER})
    EXPECT_TRUE(engine.uses(bit));
  parseOutput(engine, "taper");
  EXPECT_TRUE(engine.uses(Engine::IN_TAPER));
  EXPECT_FALSE(engine.uses(Engine::IN_LIGHT));
}

TEST(ScalarEngineOutput, PrintsTheProgramOnceForTheDefaultDensity) {
  Engine engine;
  bool ok = false;
  EXPECT_EQ(parseOutput(engine, "( light - rim )*iso*(taper*.5 + .5 )", &ok),
            P + "LIGHT RIM - ISO * TAPER 0.5 * 0.5 + * \n");
  EXPECT_TRUE(ok);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), (0.7f - 0.2f) * 0.8f * (0.4f * 0.5f + 0.5f));
  EXPECT_EQ(parseOutput(engine, "( light - rim )*iso*(taper*.5 + .5 )", &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(parseOutput(engine, "-2.25 ^ abs depth < curvature > 3"), P + "2.25 DEPTH ABS ^ CURVATURE < 3 > NEG \n");
}

struct BadFormula {
  const char* text;
  std::string messages;
};

class ScalarEngineErrors : public ::testing::TestWithParam<BadFormula> {};

TEST_P(ScalarEngineErrors, ReportInOrderAndEvaluateToZero) {
  Engine engine;
  parseOutput(engine, "light");  // so that every text below differs from the current one
  bool ok = true;
  EXPECT_EQ(parseOutput(engine, GetParam().text, &ok), GetParam().messages);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(engine.program().empty());
  EXPECT_TRUE(engine.constants().empty());
  EXPECT_FALSE(engine.uses(Engine::IN_LIGHT));
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
  // The first message stays with the formula for the caller to report.
  const std::string& all = GetParam().messages;
  EXPECT_EQ(engine.error(), all.substr(P.size(), all.find('\n') - P.size()));
  // The same text again: accepted at once, silently, still empty.
  EXPECT_EQ(parseOutput(engine, GetParam().text, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
  EXPECT_FALSE(engine.error().empty());
}

const std::string kUnbalanced = P + "brackets unbalanced\n";
const std::string kOperators = P + "missing operators\n";
const std::string kOperands = P + "missing operands\n";

INSTANTIATE_TEST_SUITE_P(Messages, ScalarEngineErrors,
                         ::testing::Values(BadFormula{"(light", kUnbalanced},
                                           BadFormula{"light)", P + "missing '('\n" + kUnbalanced},
                                           BadFormula{"light rim", kOperators}, BadFormula{"light +", kOperands},
                                           BadFormula{"x", P + "code 0!=operator\n" + kOperands},
                                           BadFormula{"light * q", P + "code 0!=operator\n" + kOperands},
                                           BadFormula{"lightness", P + "code 0!=operator\n"}, BadFormula{"", kOperands},
                                           BadFormula{"   \t ", kOperands}, BadFormula{".", P + "bad float format\n"},
                                           BadFormula{"1 + .", P + "bad float format\n"}, BadFormula{"()", kOperands},
                                           BadFormula{"((light)", kUnbalanced}));

TEST(ScalarEngineLimits, DeepBracketsAndLongTexts) {
  Engine engine;
  std::string deep = std::string(1000, '(') + "light" + std::string(1000, ')');
  bool ok = false;
  parseOutput(engine, deep.c_str(), &ok);
  EXPECT_TRUE(ok);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.7f);

  deep.pop_back();
  EXPECT_EQ(parseOutput(engine, deep.c_str(), &ok), kUnbalanced);
  EXPECT_FALSE(ok);

  std::string sum;  // 100 kB: 1+1+...+1
  while (sum.size() < 100000) sum += "1+";
  sum += "1";
  parseOutput(engine, sum.c_str(), &ok);
  EXPECT_TRUE(ok);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), static_cast<float>(sum.size() / 2 + 1));

  std::string pairs;  // 100 kB of operands without operators
  while (pairs.size() < 100000) pairs += "light ";
  EXPECT_EQ(parseOutput(engine, pairs.c_str(), &ok), kOperators);
  EXPECT_FALSE(ok);

  const std::string digits(100000, '9');  // overflows to infinity, still no crash
  parseOutput(engine, digits.c_str(), &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(std::isinf(engine.evaluate(inputs())));
}

TEST(ScalarEngineParse, AbsentEmptyAndRecoveringTexts) {
  Engine engine;
  bool ok = false;
  EXPECT_EQ(parseOutput(engine, "", &ok), "");  // equals the formula at construction
  EXPECT_TRUE(ok);
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 0.0f);
  parseOutput(engine, "light");
  EXPECT_EQ(parseOutput(engine, nullptr, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_TRUE(engine.program().empty());
  EXPECT_EQ(parseOutput(engine, "", &ok), kOperands);  // differs from "no text"
  EXPECT_FALSE(ok);
  // A valid text after a failed one: no error left.
  parseOutput(engine, "light + 1", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(engine.error(), "");
  EXPECT_FLOAT_EQ(engine.evaluate(inputs()), 1.7f);
}

}  // namespace
