#include "GsWindowBase.h"

CGsWindowBase::~CGsWindowBase() = default;
