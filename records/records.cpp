#include "records/records.h"

Header::~Header() = default;
