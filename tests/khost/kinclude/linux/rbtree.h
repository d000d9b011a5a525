/*
 * Host kernel: red-black tree interface. The bed keeps the tree as a plain
 * binary search tree (rb_insert_color does not rebalance): order, lookup,
 * iteration and erase behave as the kernel documents them; only the depth
 * guarantee is missing, which no test relies on.
 */
#ifndef KHOST_LINUX_RBTREE_H
#define KHOST_LINUX_RBTREE_H
#include <khost/base.h>

struct rb_node {
	struct rb_node *rb_parent;
	struct rb_node *rb_right;
	struct rb_node *rb_left;
};
struct rb_root {
	struct rb_node *rb_node;
};
#define RB_ROOT ((struct rb_root){ NULL })
#define rb_entry(ptr, type, member) container_of(ptr, type, member)
#define RB_EMPTY_ROOT(root) ((root)->rb_node == NULL)
#define rb_parent(r) ((r)->rb_parent)

static inline void rb_link_node(struct rb_node *node, struct rb_node *parent, struct rb_node **link)
{
	node->rb_parent = parent;
	node->rb_left = node->rb_right = NULL;
	*link = node;
}

static inline void rb_insert_color(struct rb_node *node, struct rb_root *root)
{
	(void)node;
	(void)root;
}

static inline struct rb_node *rb_first(const struct rb_root *root)
{
	struct rb_node *n = root->rb_node;
	if (!n)
		return NULL;
	while (n->rb_left)
		n = n->rb_left;
	return n;
}

static inline struct rb_node *rb_next(const struct rb_node *node)
{
	struct rb_node *parent;
	if (node->rb_right) {
		node = node->rb_right;
		while (node->rb_left)
			node = node->rb_left;
		return (struct rb_node *)node;
	}
	while ((parent = node->rb_parent) && node == parent->rb_right)
		node = parent;
	return parent;
}

static inline void khost_rb_replace_child(struct rb_node *parent, struct rb_node *old,
					  struct rb_node *new_, struct rb_root *root)
{
	if (!parent)
		root->rb_node = new_;
	else if (parent->rb_left == old)
		parent->rb_left = new_;
	else
		parent->rb_right = new_;
	if (new_)
		new_->rb_parent = parent;
}

static inline void rb_erase(struct rb_node *node, struct rb_root *root)
{
	if (!node->rb_left) {
		khost_rb_replace_child(node->rb_parent, node, node->rb_right, root);
	} else if (!node->rb_right) {
		khost_rb_replace_child(node->rb_parent, node, node->rb_left, root);
	} else {
		struct rb_node *succ = node->rb_right;
		while (succ->rb_left)
			succ = succ->rb_left;
		if (succ->rb_parent != node) {
			khost_rb_replace_child(succ->rb_parent, succ, succ->rb_right, root);
			succ->rb_right = node->rb_right;
			succ->rb_right->rb_parent = succ;
		}
		khost_rb_replace_child(node->rb_parent, node, succ, root);
		succ->rb_left = node->rb_left;
		succ->rb_left->rb_parent = succ;
	}
}
#endif
