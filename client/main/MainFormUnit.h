// The main window of Omnora.
#pragma once
