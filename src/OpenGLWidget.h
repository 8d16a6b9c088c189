// Placeholder; filled in next.
