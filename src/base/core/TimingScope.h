#ifndef LINFOLD_TIMINGSCOPE_H
#define LINFOLD_TIMINGSCOPE_H

// Nested console timing trace: "+name" on entry and "-name: 1.23ms" on leaving,
// both indented by one tab per enclosing scope.
class TimingScope {
 public:
  explicit TimingScope(const char* name);
  ~TimingScope();
  TimingScope(const TimingScope&) = delete;
  TimingScope& operator=(const TimingScope&) = delete;

  static int depth();

 private:
  double start;
  const char* name;
};

#endif
