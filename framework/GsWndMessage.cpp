#include "GsWndMessage.h"

CGsWndMessage::~CGsWndMessage() = default;
