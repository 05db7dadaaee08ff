"""vela's OpenUSD plug-ins and their Python modules."""
