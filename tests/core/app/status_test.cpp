#include "core/app/app_fixture.h"
