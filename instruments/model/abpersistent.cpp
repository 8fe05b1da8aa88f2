#include "abpersistent.h"

TAbPersistent::~TAbPersistent() = default;

void TAbPersistent::Assign(const TAbPersistent& Source) { throw EAbAssignError(Source.ClassName(), ClassName()); }

void TAbPersistent::Changed() {
  if (FOnChange) FOnChange(this);
}

EAbAssignError::EAbAssignError(const char* SourceClass, const char* TargetClass)
    : std::runtime_error(std::string("Cannot assign a ") + SourceClass + " to a " + TargetClass) {}
