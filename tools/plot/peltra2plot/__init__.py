"""Pictures of peltra2's inputs and results, used by peltra2-plot."""
