// Passing a failure up: the engine's files return the first failing HRESULT as it is.
#pragma once

#define RETURN_IF_FAILED(expr)   \
  do {                           \
    HRESULT hr_ = (expr);        \
    if (Failed(hr_)) return hr_; \
  } while (0)
