#include "abpersistent.h"

TAbPersistent::~TAbPersistent() = default;

void TAbPersistent::Assign(const TAbPersistent& source)
{
    throw EAbAssignError(source.ClassName(), ClassName());
}

void TAbPersistent::Changed()
{
    if (onChange_)
        onChange_(this);
}

EAbAssignError::EAbAssignError(const char* sourceClass, const char* targetClass)
    : std::runtime_error(std::string("Cannot assign a ") + sourceClass + " to a " + targetClass)
{
}
