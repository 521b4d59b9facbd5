#include "input/records.h"

Header::~Header() = default;
