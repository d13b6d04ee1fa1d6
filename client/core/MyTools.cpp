#include "MyTools.h"
