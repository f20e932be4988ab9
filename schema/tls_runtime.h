// The TLS runtime of the SOAP library (OpenSSL), made ready once per process.
//
// Making a SOAP context readies OpenSSL itself when nothing has yet, through
// an unguarded process-wide flag: two threads making their first contexts at
// once would both run that set-up. Every program that makes SOAP contexts on
// several threads (the plug-in's publish and upload, the service's workers)
// calls OslInitTlsRuntime() before its first context; it runs the set-up
// exactly once, whatever the number of threads calling it, and later calls
// return at once.
#pragma once

void OslInitTlsRuntime();
