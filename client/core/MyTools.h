// Sorted lists of items and integers, optionally locked.
#pragma once
