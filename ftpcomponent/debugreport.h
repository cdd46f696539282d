// Internal consistency checks: a failed check is reported to the debugger output with the
// source unit and line, and the operation goes on. Trace lines go to the same output.
#pragma once

#define NIMBREL_ASSERT(unit, expression) \
    ((expression) ? (void)0 : NimbrelReportAssertion(unit, __LINE__, #expression))
#define NIMBREL_REPORT(unit, message) NimbrelReportAssertion(unit, __LINE__, message)

void NimbrelReportAssertion(const char* unit, int line, const char* message);
void NimbrelTrace(const char* text);
// Reports so far in this process; tests read it to see that a check fired.
long NimbrelAssertionCount();
