// The process-wide objects of the client, created in a fixed order at the
// program's start and freed in reverse order at its end. Explicit calls, so
// that the order of C++ static initialisation plays no part.
#pragma once

// On the window thread, first thing: makes it the window thread (through the
// window seams, when the window layer is there) and creates every
// process-wide object in order. Answers false
// when something could not be created.
bool InitializeUnits();
// On the window thread, last thing: stops and joins every live worker, then
// frees the objects in reverse order. Does nothing when not initialised.
void FinalizeUnits();

// InitializeUnits for the life of a scope (tests, the program's main).
class TUnitsScope
{
public:
  TUnitsScope() { FOk = InitializeUnits(); }
  ~TUnitsScope() { FinalizeUnits(); }
  TUnitsScope(const TUnitsScope&) = delete;
  TUnitsScope& operator=(const TUnitsScope&) = delete;
  bool Ok() const { return FOk; }

private:
  bool FOk;
};
