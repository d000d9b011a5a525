// Every harness: a single allocation above 256 MiB is a fault. Fuzz inputs
// are a few kilobytes; an allocation that size only comes from a length
// field taken on trust.
extern "C" const char *__asan_default_options()
{
	return "max_allocation_size_mb=256:allocator_may_return_null=0";
}
