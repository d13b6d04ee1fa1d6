#include "MainFormUnit.h"
